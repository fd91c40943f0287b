// Path building on chains made with libcrypto: an honest three-certificate
// chain, and the two hostile sets whose search the request bounds.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "toolkit/CertificateLists.h"
#include "toolkit/Context.h"
#include "toolkit/DatabaseRequests.h"
#include "toolkit/Dispatch.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathParams.h"
#include "toolkit/PathProvider.h"
#include "tools/catgen/CertBuilder.h"

namespace {

using namespace korva::toolkit;
using korva::catgen::CertSpec;
using korva::catgen::MakeCert;
using korva::catgen::TestKey;

// A context whose database holds `specs`; the last one is also trusted
// when `anchored`. Builds start from the first.
class World {
public:
    World(const std::vector<CertSpec>& specs, bool anchored) {
        const ProviderRecord records[] = {{4, "In-memory Database", ImdbInit},
                                          {6, "Cert Path Processing Provider", PathInit}};
        ContextCreate(records, nullptr, 2, &context_);
        ServiceBindOne(context_, 4, "In-memory Database", &database_);
        ObjectListCreate(&trusted_);
        for (const CertSpec& spec : specs) {
            korva::catgen::Bytes der = MakeCert(spec);
            CertObject* cert = nullptr;
            CertCreate(&cert, context_);
            CertSetEncoding(cert, der.data(), uint32_t(der.size()));
            DbInsertCert(database_, cert);
            certs_.push_back(cert);
        }
        if (anchored) CertListAppendReference(trusted_, certs_.back(), nullptr);
    }
    ~World() {
        ObjectListFree(&trusted_);
        for (CertObject*& cert : certs_) CertFree(&cert);
        ServiceUnbind(&database_);
        ContextFree(&context_);
    }
    Status Build(uint32_t kind, uint32_t flags) {
        ObjectList* path = nullptr;
        ObjectListCreate(&path);
        PathParams params{kind, flags, trusted_, nullptr, uint32_t(time(nullptr)), database_};
        Status status = PathBuildRequest(context_, &params, certs_.front(), path, nullptr, nullptr, nullptr);
        ObjectListFree(&path);
        return status;
    }

private:
    ToolkitContext* context_ = nullptr;
    ServiceBinding* database_ = nullptr;
    ObjectList* trusted_ = nullptr;
    std::vector<CertObject*> certs_;
};

// Eight layers of eight certificates, each signed by the layer above; the
// top layer's issuer is the bottom layer when `ring`, nobody otherwise.
std::vector<CertSpec> Layers(std::vector<TestKey>& keys, const TestKey& leafKey, bool ring) {
    std::vector<CertSpec> specs{{"Leaf", "Layer 0", 1, &leafKey, &keys[0]}};
    long serial = 100;
    for (int layer = 0; layer < 8; ++layer) {
        int above = ring ? (layer + 1) % 8 : layer + 1;
        for (int i = 0; i < 8; ++i) {
            specs.push_back({"Layer " + std::to_string(layer), "Layer " + std::to_string(above), serial++,
                             &keys[layer], &keys[above], 0, 0, 1});
        }
    }
    return specs;
}

void BM_HonestChainKind3(benchmark::State& state) {
    TestKey root, inter, leaf;
    World world({{"Leaf", "Inter", 3, &leaf, &inter},
                 {"Inter", "Root", 2, &inter, &root, 0, 0, 1, -1, "critical,keyCertSign"},
                 {"Root", "Root", 1, &root, &root, 0, 0, 1, -1, "critical,keyCertSign"}},
                true);
    for (auto _ : state) benchmark::DoNotOptimize(world.Build(3, 4));
}
BENCHMARK(BM_HonestChainKind3);

void BM_CrossSignedLayersSignatures(benchmark::State& state) {
    std::vector<TestKey> keys(9);
    TestKey leaf;
    World world(Layers(keys, leaf, false), false);
    for (auto _ : state) benchmark::DoNotOptimize(world.Build(1, 6));
}
BENCHMARK(BM_CrossSignedLayersSignatures)->Unit(benchmark::kMillisecond);

void BM_CrossSignedRingNamesOnly(benchmark::State& state) {
    std::vector<TestKey> keys(8);
    TestKey leaf;
    World world(Layers(keys, leaf, true), false);
    for (auto _ : state) benchmark::DoNotOptimize(world.Build(1, 7));
}
BENCHMARK(BM_CrossSignedRingNamesOnly)->Unit(benchmark::kMillisecond);

}  // namespace
