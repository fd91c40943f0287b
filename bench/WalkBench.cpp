// The walker's throughput over every real catalog, next to the cost of
// reading every byte once: libcrypto's SHA-256 over the same bytes. Target:
// WalkCatalogs_Ours at least half of WalkCatalogs_OpenSSL's bytes per second.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "catalog/ParseAsn1.h"

namespace {

using Bytes = std::vector<uint8_t>;

const std::vector<Bytes>& Catalogs() {
    static const std::vector<Bytes> files = [] {
        // KORVA_WALK_DIR walks the catalogs of another folder instead, the
        // benchmark tree's package catalog for example.
        const char* folder = std::getenv("KORVA_WALK_DIR");
        std::vector<std::filesystem::path> paths;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(folder != nullptr ? folder : KORVA_SHARED_DIR "/realcats", error)) {
            if (entry.path().extension() == ".cat") paths.push_back(entry.path());
        }
        std::sort(paths.begin(), paths.end());
        std::vector<Bytes> out;
        for (const auto& path : paths) {
            std::ifstream in(path, std::ios::binary);
            out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return out;
    }();
    return files;
}

int64_t TotalBytes() {
    int64_t total = 0;
    for (const Bytes& file : Catalogs()) total += static_cast<int64_t>(file.size());
    return total;
}

class CountingCallback : public TarnVerifyTrustDriver::IAsn1NodeCallback {
public:
    explicit CountingCallback(TarnVerifyTrustDriver::NodeInterest interest) { interest_ = interest; }
    uint32_t OnParseBegin() override { return 0; }
    uint32_t OnNode(TarnVerifyTrustDriver::Asn1Node&) override {
        ++nodes;
        return 0;
    }
    uint64_t nodes = 0;
};

void Walk(benchmark::State& state, TarnVerifyTrustDriver::NodeInterest interest) {
    if (Catalogs().empty()) return state.SkipWithError("no catalogs in " KORVA_SHARED_DIR "/realcats");
    CountingCallback callback(interest);
    TarnVerifyTrustDriver::ParserStack stack;
    for (auto _ : state) {
        for (const Bytes& file : Catalogs()) {
            uint32_t result = TarnVerifyTrustDriver::ParseAsn1(nullptr, &stack, file.data(),
                                                               static_cast<uint32_t>(file.size()), &callback);
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetBytesProcessed(state.iterations() * TotalBytes());
    state.counters["nodes"] = benchmark::Counter(static_cast<double>(callback.nodes), benchmark::Counter::kIsRate);
}

// Every element reported to the callback.
void WalkCatalogs_Ours(benchmark::State& state) { Walk(state, {}); }
BENCHMARK(WalkCatalogs_Ours);

// Every element decoded and checked, none reported: the walk's own cost.
void WalkCatalogs_OursUnheard(benchmark::State& state) { Walk(state, {0, 0}); }
BENCHMARK(WalkCatalogs_OursUnheard);

void WalkCatalogs_OpenSSL(benchmark::State& state) {
    if (Catalogs().empty()) return state.SkipWithError("no catalogs in " KORVA_SHARED_DIR "/realcats");
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    unsigned char digest[EVP_MAX_MD_SIZE];
    for (auto _ : state) {
        for (const Bytes& file : Catalogs()) {
            EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
            EVP_DigestUpdate(context, file.data(), file.size());
            EVP_DigestFinal_ex(context, digest, nullptr);
            benchmark::DoNotOptimize(digest);
        }
    }
    EVP_MD_CTX_free(context);
    state.SetBytesProcessed(state.iterations() * TotalBytes());
}
BENCHMARK(WalkCatalogs_OpenSSL);

}  // namespace
