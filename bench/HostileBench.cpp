// Hostile catalogs through the engine's own path for one catalog: the file
// read, the walk, the callback's checks and the store's recording. Each case
// reports processor seconds per megabyte of input (bound: 1; processor time,
// because the build machines are shared) and the engine's peak heap during
// the catalog as a multiple of the input (bound: a small multiple). Two sizes
// per shape show whether the cost grows linearly.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "catalog/CertResult.h"
#include "catalog/ExtraRoots.h"
#include "engine/CatalogStore.h"
#include "engine/CertificateVerification.h"
#include "runtime/RuntimeHeapSeam.h"
#include "tools/catgen/Hostile.h"
#include "tools/catgen/Catalog.h"

namespace {

namespace tvt = TarnVerifyTrustDriver;
using korva::catgen::Hostile;
using korva::catgen::HostileCatalog;

// The engine's heap in use and its high-water mark, beneath the memory service.
std::atomic<int64_t> g_inUse{0};
std::atomic<int64_t> g_peak{0};

void* MeteredAllocate(size_t size) {
    void* block = std::malloc(size);
    if (block != nullptr) {
        int64_t now = g_inUse += static_cast<int64_t>(malloc_usable_size(block));
        int64_t peak = g_peak.load();
        while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
        }
    }
    return block;
}

void MeteredFree(void* block) {
    if (block != nullptr) g_inUse -= static_cast<int64_t>(malloc_usable_size(block));
    std::free(block);
}

// The verification an update cycle runs, trusting the generator's test root.
class Engine {
public:
    Engine() : root_(korva::catgen::TestRoot("hostile-root", "Korva Hostile Test Root")) {
        static const tvt::RuntimeHeap heap{&MeteredAllocate, &MeteredFree};
        tvt::ReplaceRuntimeHeapForTests(&heap);
        directory_ = std::filesystem::temp_directory_path() / ("korva-hostile-" + std::to_string(::getpid()));
        std::filesystem::create_directories(directory_);
        setenv("KORVA_SYSTEM_DIR", directory_.string().c_str(), 0);
        extra_.Add(1, 9001, korva::catgen::CertificateDer(root_.cert));
        verification_.TrustExtraRoots(&extra_);
        started_ = verification_.StartContext() == tvt::ICatalogVerification::kContextStarted &&
                   verification_.SetUpTrustAnchors() == 0;
    }
    ~Engine() {
        verification_.ReleaseTrustAnchors();
        verification_.ResetContext();
        std::filesystem::remove_all(directory_);
    }

    static Engine& Instance() {
        static Engine engine;
        return engine;
    }
    const korva::catgen::Identity& root() const { return root_; }
    bool started() const { return started_; }
    std::filesystem::path File(const std::string& name) const { return directory_ / name; }
    tvt::ICatalogVerifier& verifier() { return verification_; }

private:
    korva::catgen::Identity root_;
    std::filesystem::path directory_;
    tvt::CExtraRoots extra_;
    tvt::CCertificateVerification verification_;
    bool started_ = false;
};

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void BM_Hostile(benchmark::State& state, Hostile kind, size_t size) {
    Engine& engine = Engine::Instance();
    if (!engine.started()) return state.SkipWithError("the certificate context did not start");
    const HostileCatalog catalog = korva::catgen::BuildHostile(kind, size, engine.root());
    const std::filesystem::path file = engine.File("hostile.cat");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(catalog.der.data()), static_cast<std::streamsize>(catalog.der.size()));
    }
    double seconds = 0;
    int64_t peak = 0;
    bool recorded = false;
    for (auto _ : state) {
        tvt::CatalogStore store;
        const int64_t before = g_inUse.load();
        g_peak = before;
        const double start = ThreadSeconds();
        store.AddCatalog(file.wstring(), {tvt::kFileAttributeArchive, {1, 0}}, engine.verifier());
        seconds += ThreadSeconds() - start;
        peak = std::max(peak, g_peak.load() - before);
        recorded = store.records().count() == 1;
    }
    const double megabytes = static_cast<double>(catalog.der.size()) / 1e6;
    state.SetLabel(catalog.name);
    state.counters["MB"] = megabytes;
    state.counters["s_per_MB"] = seconds / static_cast<double>(state.iterations()) / megabytes;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["peak_x_input"] = static_cast<double>(peak) / static_cast<double>(catalog.der.size());
    state.counters["recorded"] = recorded;
    if (recorded != catalog.accepted) state.SkipWithError("the verdict differs from the expected one");
}

#define KORVA_HOSTILE(name, kind, size) \
    BENCHMARK_CAPTURE(BM_Hostile, name, kind, size)->Unit(benchmark::kMillisecond)->Iterations(1)

KORVA_HOSTILE(long_names_10MB, Hostile::kLongNames, 10'000'000);
KORVA_HOSTILE(long_names_100MB, Hostile::kLongNames, 100'000'000);
KORVA_HOSTILE(members_100k, Hostile::kManyMembers, 100'000);
KORVA_HOSTILE(members_1M, Hostile::kManyMembers, 1'000'000);
KORVA_HOSTILE(nesting_10k, Hostile::kDeepNesting, 10'000);
KORVA_HOSTILE(nesting_100k, Hostile::kDeepNesting, 100'000);
KORVA_HOSTILE(certificates_100, Hostile::kManyCertificates, 100);
KORVA_HOSTILE(certificates_1000, Hostile::kManyCertificates, 1'000);
KORVA_HOSTILE(certificates_2000, Hostile::kManyCertificates, 2'000);
KORVA_HOSTILE(certificates_3000, Hostile::kManyCertificates, 3'000);
KORVA_HOSTILE(certificates_8000, Hostile::kManyCertificates, 8'000);
KORVA_HOSTILE(certificates_50000, Hostile::kManyCertificates, 50'000);
KORVA_HOSTILE(cross_signed_4x4, Hostile::kCrossSigned, 4);
KORVA_HOSTILE(cross_signed_8x8, Hostile::kCrossSigned, 8);
KORVA_HOSTILE(exponent_256_octets, Hostile::kLargeExponent, 256);
KORVA_HOSTILE(exponent_4096_octets, Hostile::kLargeExponent, 4096);

}  // namespace
