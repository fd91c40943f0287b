// Results of pure checks kept for one trust anchor set: the public key made
// from each distinct subjectPublicKeyInfo, the outcome of each certificate
// signature check per key and certificate encoding, and the SHA-1 of each
// certificate encoding that passed the toolkit's canonical check. Catalogs
// signed by a handful of chains then pay for each chain's keys and
// signatures once per run instead of once per catalog.
//
// Entries hold exact copies of the bytes they answer for, so a hit is the
// same question. The cache is bounded; when it is full, or memory runs out,
// it keeps nothing more and callers take the uncached path, which gives the
// same answers.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/Allocator.h"
#include "runtime/Memory.h"
#include "toolkit/Status.h"

namespace korva::toolkit {
struct KeyObject;
}

namespace TarnVerifyTrustDriver {

class CVerificationCache : public TAllocator<CVerificationCache> {
public:
    static constexpr uint32_t kMaxEntries = 4096;
    static constexpr uint32_t kMaxBytes = 8u << 20;

    CVerificationCache() = default;
    virtual ~CVerificationCache();
    CVerificationCache(const CVerificationCache&) = delete;
    CVerificationCache& operator=(const CVerificationCache&) = delete;

    // The key kept for `spki`, or null.
    const korva::toolkit::KeyObject* FindKey(std::span<const uint8_t> spki) const;
    // Takes `key` over for `spki`; false leaves it with the caller.
    bool KeepKey(std::span<const uint8_t> spki, korva::toolkit::KeyObject* key);

    // The outcome kept for the certificate `der` checked under `spki`.
    bool FindCheck(std::span<const uint8_t> spki, std::span<const uint8_t> der, korva::toolkit::Status& status) const;
    // Keeps an outcome; only a definite one (verified or mismatched) is kept.
    void KeepCheck(std::span<const uint8_t> spki, std::span<const uint8_t> der, korva::toolkit::Status status);

    // The SHA-1 kept for a certificate encoding found canonical; empty when
    // there is none.
    std::span<const uint8_t> FindCanonical(std::span<const uint8_t> der) const;
    void KeepCanonical(std::span<const uint8_t> der, std::span<const uint8_t> sha1);

    uint32_t entries() const { return entries_; }

private:
    enum class Kind : uint8_t { Key, Check, Canonical };
    struct Entry;
    static constexpr uint32_t kBuckets = 512;

    const Entry* Find(Kind kind, std::span<const uint8_t> first, std::span<const uint8_t> second) const;
    Entry* Add(Kind kind, std::span<const uint8_t> first, std::span<const uint8_t> second);

    Entry* buckets_[kBuckets] = {};
    uint32_t entries_ = 0;
    uint64_t bytes_ = 0;
};

}  // namespace TarnVerifyTrustDriver
