// The catalog store at the size of a large system: 2,500 catalogs listing
// 500,000 member hashes (SHA-1 and SHA-256 alternating) under 200 signer
// values. Measures adding, a full save, a load from a warm file and a save
// with nothing to write, and reports the store's memory against the raw size
// of what it holds.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <mutex>
#include <unordered_map>

#include "engine/CatalogDatabaseFile.h"
#include "runtime/RuntimeHeapSeam.h"
#include "tools/storeharness/StoreHarness.h"

namespace {

namespace tvt = TarnVerifyTrustDriver;
using tvt::test::Bytes;

constexpr uint32_t kCatalogs = 2500;
constexpr uint32_t kHashesPerCatalog = 200;

// Counts the bytes of every engine block alive, and the most at any time.
class HeapMeter {
public:
    HeapMeter() { previous_ = tvt::ReplaceRuntimeHeapForTests(&kHeap); }
    ~HeapMeter() { tvt::ReplaceRuntimeHeapForTests(previous_); }
    static size_t live() { return live_; }
    static size_t peak() { return peak_; }
    static void ResetPeak() { peak_ = live_; }

private:
    static void* Allocate(size_t size) {
        void* block = std::malloc(size);
        std::lock_guard guard(lock_);
        if (block != nullptr) sizes()[block] = size, live_ += size, peak_ = std::max(peak_, live_);
        return block;
    }
    static void Free(void* block) {
        {
            std::lock_guard guard(lock_);
            auto found = sizes().find(block);
            if (found != sizes().end()) live_ -= found->second, sizes().erase(found);
        }
        std::free(block);
    }
    static std::unordered_map<void*, size_t>& sizes() {
        static std::unordered_map<void*, size_t> map;
        return map;
    }
    static constexpr tvt::RuntimeHeap kHeap{&Allocate, &Free};
    static inline std::mutex lock_;
    static inline size_t live_ = 0;
    static inline size_t peak_ = 0;
    const tvt::RuntimeHeap* previous_;
};

struct Corpus {
    tvt::test::FakeVerifier verifier;
    std::vector<std::wstring> paths;
    size_t rawBytes = 0;  // hash bytes + name bytes + signer value bytes + 29 per record

    Corpus() {
        std::wstring directory = tvt::test::SystemDirectory() + L"CatRoot" + korva::platform::kPathSeparator;
        for (uint32_t c = 0; c < kCatalogs; ++c) {
            std::wstring path = directory + L"catalog" + std::to_wstring(c) + L".cat";
            tvt::test::FakeCatalog& catalog = verifier.catalogs[path];
            // 50 distinct values in each of the four places: 200 in all.
            for (uint8_t place = 0; place < 4; ++place) {
                catalog.values[place] = Bytes(20 + place, static_cast<uint8_t>(place * 50 + c % 50));
            }
            for (uint32_t h = 0; h < kHashesPerCatalog; ++h) {
                uint32_t n = c * kHashesPerCatalog + h;
                tvt::MemberHash hash = tvt::test::Hash(0, n % 2 == 0 ? 20 : 32);
                for (uint32_t b = 0; b < hash.length; ++b) hash.bytes[b] = static_cast<uint8_t>((n * 2654435761u) >> (b % 4 * 8) ^ b);
                catalog.members.push_back(hash);
                rawBytes += hash.length;
            }
            rawBytes += path.size() * 2 + 29;
            paths.push_back(std::move(path));
        }
        for (uint32_t v = 0; v < 200; ++v) rawBytes += 20 + v / 50;
    }

    void Fill(tvt::CatalogStore& store) {
        for (const std::wstring& path : paths) store.AddCatalog(path, {tvt::kFileAttributeArchive, {1, 0}}, verifier);
    }
};

Corpus& TheCorpus() {
    static Corpus corpus;
    return corpus;
}

std::wstring BenchDirectory() {
    static const std::filesystem::path directory = [] {
        auto path = std::filesystem::temp_directory_path() / "korva-store-bench";
        std::filesystem::create_directories(path);
        return path;
    }();
    return directory.wstring();
}

void SaveFresh(tvt::CatalogStore& store) {
    std::filesystem::remove(std::filesystem::path(BenchDirectory()) / "Cat.DB");
    tvt::CatalogDatabaseFile file(BenchDirectory());
    tvt::test::MarkAllUnsaved(store);
    if (file.OpenDatabaseFile() != tvt::kSuccess || file.SaveDatabaseFile(store) != tvt::kSuccess) std::abort();
}

void BM_Add(benchmark::State& state) {
    Corpus& corpus = TheCorpus();
    HeapMeter meter;
    for (auto _ : state) {
        HeapMeter::ResetPeak();
        size_t before = HeapMeter::live();
        tvt::CatalogStore store;
        corpus.Fill(store);
        state.counters["store_bytes"] = static_cast<double>(HeapMeter::live() - before);
        state.counters["peak_bytes"] = static_cast<double>(HeapMeter::peak() - before);
    }
    state.counters["raw_bytes"] = static_cast<double>(corpus.rawBytes);
    state.counters["ratio"] = state.counters["store_bytes"] / state.counters["raw_bytes"];
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kCatalogs * kHashesPerCatalog);
}

void BM_Save(benchmark::State& state) {
    tvt::CatalogStore store;
    TheCorpus().Fill(store);
    for (auto _ : state) SaveFresh(store);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kCatalogs * kHashesPerCatalog);
}

void BM_Load(benchmark::State& state) {
    {
        tvt::CatalogStore store;
        TheCorpus().Fill(store);
        SaveFresh(store);
    }
    HeapMeter meter;
    for (auto _ : state) {
        HeapMeter::ResetPeak();
        size_t before = HeapMeter::live();
        tvt::CatalogStore store;
        tvt::CatalogDatabaseFile file(BenchDirectory());
        if (file.LoadDatabaseFile(store) != tvt::kSuccess || store.hashes().count() != kCatalogs * kHashesPerCatalog) std::abort();
        state.counters["peak_bytes"] = static_cast<double>(HeapMeter::peak() - before);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kCatalogs * kHashesPerCatalog);
}

void BM_SaveUnchanged(benchmark::State& state) {
    tvt::CatalogStore store;
    TheCorpus().Fill(store);
    SaveFresh(store);
    tvt::CatalogDatabaseFile file(BenchDirectory());
    if (file.LoadDatabaseFile(store) != tvt::kSuccess) std::abort();
    for (auto _ : state) {
        if (file.SaveDatabaseFile(store) != tvt::kSuccess) std::abort();
    }
}

BENCHMARK(BM_Add)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SaveUnchanged)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
