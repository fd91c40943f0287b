#include "catalog/VerificationCache.h"

#include <algorithm>

#include "toolkit/KeyObject.h"

namespace TarnVerifyTrustDriver {

namespace tk = korva::toolkit;
using Bytes = std::span<const uint8_t>;

struct CVerificationCache::Entry : TAllocator<Entry> {
    Entry* next = nullptr;
    uint64_t hash = 0;
    Kind kind = Kind::Key;
    CMemory first;   // a subjectPublicKeyInfo, or the canonical encoding
    CMemory second;  // the encoding a key checked; empty otherwise
    tk::KeyObject* key = nullptr;
    tk::Status status = tk::kOk;
    CMemory sha1;
};

namespace {

// FNV-1a over the kind and, of each byte string, its length and its last 64
// octets: those of a certificate are its signature, those of a key its
// modulus, both as good as random. Entries compare whole anyway.
uint64_t HashOf(uint8_t kind, Bytes first, Bytes second) {
    uint64_t hash = (0xcbf29ce484222325ull ^ kind) * 0x100000001b3ull;
    auto mix = [&hash](uint8_t octet) { hash = (hash ^ octet) * 0x100000001b3ull; };
    for (Bytes bytes : {first, second}) {
        for (int shift = 0; shift < 32; shift += 8) mix(static_cast<uint8_t>(bytes.size() >> shift));
        for (uint8_t octet : bytes.last(std::min<size_t>(bytes.size(), 64))) mix(octet);
    }
    return hash;
}

bool Same(const CMemory& kept, Bytes bytes) {
    return kept.size() == bytes.size() && std::equal(bytes.begin(), bytes.end(), kept.data());
}

bool Fill(CMemory& target, Bytes bytes) {
    if (bytes.empty()) return true;
    if (!target.Allocate(static_cast<uint32_t>(bytes.size()))) return false;
    std::copy(bytes.begin(), bytes.end(), target.data());
    return true;
}

}  // namespace

CVerificationCache::~CVerificationCache() {
    for (Entry*& bucket : buckets_) {
        while (Entry* entry = bucket) {
            bucket = entry->next;
            tk::KeyObjectFree(&entry->key);
            delete entry;
        }
    }
}

const CVerificationCache::Entry* CVerificationCache::Find(Kind kind, Bytes first, Bytes second) const {
    uint64_t hash = HashOf(static_cast<uint8_t>(kind), first, second);
    for (const Entry* entry = buckets_[hash % kBuckets]; entry != nullptr; entry = entry->next) {
        if (entry->hash == hash && entry->kind == kind && Same(entry->first, first) && Same(entry->second, second)) {
            return entry;
        }
    }
    return nullptr;
}

CVerificationCache::Entry* CVerificationCache::Add(Kind kind, Bytes first, Bytes second) {
    uint64_t size = first.size() + second.size();
    if (first.empty() || entries_ >= kMaxEntries || bytes_ + size > kMaxBytes) return nullptr;
    auto* entry = new Entry;
    if (entry == nullptr) return nullptr;
    if (!Fill(entry->first, first) || !Fill(entry->second, second)) {
        delete entry;
        return nullptr;
    }
    entry->kind = kind;
    entry->hash = HashOf(static_cast<uint8_t>(kind), first, second);
    entry->next = buckets_[entry->hash % kBuckets];
    buckets_[entry->hash % kBuckets] = entry;
    ++entries_;
    bytes_ += size;
    return entry;
}

const tk::KeyObject* CVerificationCache::FindKey(Bytes spki) const {
    const Entry* entry = Find(Kind::Key, spki, {});
    return entry != nullptr ? entry->key : nullptr;
}

bool CVerificationCache::KeepKey(Bytes spki, tk::KeyObject* key) {
    if (key == nullptr) return false;
    Entry* entry = Add(Kind::Key, spki, {});
    if (entry == nullptr) return false;
    entry->key = key;
    return true;
}

bool CVerificationCache::FindCheck(Bytes spki, Bytes der, tk::Status& status) const {
    const Entry* entry = Find(Kind::Check, spki, der);
    if (entry == nullptr) return false;
    status = entry->status;
    return true;
}

void CVerificationCache::KeepCheck(Bytes spki, Bytes der, tk::Status status) {
    // Anything else may come from a lack of memory or of a context.
    if (status != tk::kOk && status != tk::kSignatureMismatch) return;
    if (der.empty()) return;
    if (Entry* entry = Add(Kind::Check, spki, der)) entry->status = status;
}

Bytes CVerificationCache::FindCanonical(Bytes der) const {
    const Entry* entry = Find(Kind::Canonical, der, {});
    return entry != nullptr ? entry->sha1.bytes() : Bytes{};
}

void CVerificationCache::KeepCanonical(Bytes der, Bytes sha1) {
    if (sha1.empty()) return;
    Entry* entry = Add(Kind::Canonical, der, {});
    // Without its digest the entry would answer nothing: it stays empty.
    if (entry != nullptr) (void)Fill(entry->sha1, sha1);
}

}  // namespace TarnVerifyTrustDriver
