#include "engine/SignerReach.h"

#include <algorithm>
#include <span>

namespace TarnVerifyTrustDriver {

namespace {

constexpr uint32_t kSignerValueCount = 4;

bool SameBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace

bool KeepsSignerReach(CatalogStore& store, const CatalogRecord* record, const ICatalogEvidence& evidence) {
    // The index the catalog's highest value would get, and the table size
    // after interning: new values are appended in order, repeats once.
    uint32_t tableSize = store.signerValues().count();
    uint32_t highest = 0;
    uint32_t fresh = 0;
    for (uint32_t number = 1; number <= kSignerValueCount; ++number) {
        std::span<const uint8_t> value = evidence.SignerValue(number).bytes();
        if (const SignerIndexEntry* known = store.signerValueIndex().Find(value)) {
            highest = std::max<uint32_t>(highest, known->index);
            continue;
        }
        bool repeated = false;
        for (uint32_t earlier = 1; earlier < number && !repeated; ++earlier) {
            repeated = SameBytes(evidence.SignerValue(earlier).bytes(), value);
        }
        if (!repeated) ++fresh;
    }
    if (tableSize + fresh > CatalogStore::kMaxSignerValues) return false;
    if (fresh > 0) highest = tableSize + fresh - 1;

    // Member hashes never leave a record, and a hash already mapped keeps
    // its owner, so the record is reached by a hash when it already was or
    // when one of the catalog's members is not mapped yet.
    bool reachedByHash = record != nullptr && record->ownsHash;
    for (uint32_t i = 0; i < evidence.MemberCount() && !reachedByHash; ++i) {
        reachedByHash = store.hashes().Find(evidence.Member(i)) == nullptr;
    }

    // The same maxima the loader computes, with the record's new values.
    GrowableArray<CatalogRecord>& records = store.records();
    uint32_t nameMax = highest;
    store.names().ForEach([&](NameEntry& entry) {
        if (entry.ref.index < records.count() && &records[entry.ref.index] != record) {
            nameMax = std::max<uint32_t>(nameMax, records[entry.ref.index].HighestSignerValue());
        }
        return true;
    });
    uint32_t hashMax = reachedByHash ? highest : 0;
    for (const CatalogRecord& other : records.items()) {
        if (other.ownsHash && &other != record) hashMax = std::max<uint32_t>(hashMax, other.HighestSignerValue());
    }
    return nameMax == hashMax && nameMax == tableSize + fresh - 1;
}

}  // namespace TarnVerifyTrustDriver
