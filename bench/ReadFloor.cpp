#include "bench/ReadFloor.h"

#include <cstdio>
#include <memory>

#include <openssl/evp.h>

namespace korva::bench {

// Keeps the digests observable so that no step can be left out.
volatile unsigned char floorSink = 0;

uint64_t ReadAndHashAll(const std::vector<std::filesystem::path>& files) {
    std::vector<unsigned char> buffer;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    uint64_t total = 0;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned char folded = 0;
    for (const std::filesystem::path& file : files) {
        std::unique_ptr<FILE, decltype(&std::fclose)> stream(std::fopen(file.c_str(), "rb"), std::fclose);
        if (stream == nullptr || std::fseek(stream.get(), 0, SEEK_END) != 0) return 0;
        long size = std::ftell(stream.get());
        if (size < 0 || std::fseek(stream.get(), 0, SEEK_SET) != 0) return 0;
        buffer.resize(static_cast<size_t>(size));
        if (std::fread(buffer.data(), 1, buffer.size(), stream.get()) != buffer.size()) return 0;
        unsigned int length = 0;
        if (EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
            EVP_DigestUpdate(context.get(), buffer.data(), buffer.size()) != 1 ||
            EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
            return 0;
        }
        folded ^= digest[0];
        total += buffer.size();
    }
    floorSink = folded;
    return total;
}

}  // namespace korva::bench
