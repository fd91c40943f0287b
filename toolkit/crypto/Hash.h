// Incremental message digests: MD2 (RFC 1319), MD5 (RFC 1321), SHA-1,
// SHA-256, SHA-384 and SHA-512 (FIPS 180-4), behind one context type selected
// by an algorithm value. Nothing here allocates or throws.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "toolkit/crypto/Bytes.h"

namespace korva::crypto {

enum class HashAlgorithm : uint8_t { Md2, Md5, Sha1, Sha256, Sha384, Sha512 };

constexpr size_t kMaxDigestLength = 64;

size_t DigestLength(HashAlgorithm algorithm);

// A finished digest, sized for the longest algorithm.
struct Digest {
    std::array<uint8_t, kMaxDigestLength> bytes{};
    size_t length = 0;

    ByteView view() const { return ByteView(bytes).first(length); }
};

class HashContext {
public:
    explicit HashContext(HashAlgorithm algorithm = HashAlgorithm::Sha256) { Init(algorithm); }

    // Starts a new message, forgetting anything fed so far.
    void Init(HashAlgorithm algorithm);
    // Any split of the message gives the same digest.
    void Update(ByteView data);
    // Writes the digest to the front of `out` and returns its length, or 0
    // (nothing written, message kept) when `out` is shorter than the digest.
    // On success the context starts a new message of the same algorithm.
    size_t Final(MutableByteView out);
    Digest Final();

    HashAlgorithm algorithm() const { return algorithm_; }

private:
    void Compress(ByteView blocks);
    void PadMerkleDamgard();
    void PadMd2();

    HashAlgorithm algorithm_ = HashAlgorithm::Sha256;
    size_t blockSize_ = 64;
    size_t pendingLength_ = 0;
    uint64_t messageLength_ = 0;  // in octets
    std::array<uint8_t, 128> pending_{};
    // Chaining state; which array is live depends on the algorithm.
    std::array<uint32_t, 8> words32_{};
    std::array<uint64_t, 8> words64_{};
    std::array<uint8_t, 32> md2_{};  // 16 octets of state, then the 16-octet checksum
};

// One-shot convenience over HashContext.
Digest Hash(HashAlgorithm algorithm, ByteView data);

}  // namespace korva::crypto
