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

    // A store already as the loader demands reaches nothing beyond the
    // table's last index, on either side: a new catalog keeps it so when it
    // brings no new value, or when one of its hashes reaches the new last
    // one. An update takes its record's old values away, which only the
    // count below can tell; so does a store not known to be loadable.
    const bool holds = record == nullptr && store.SignerReachHolds();
    if (holds && fresh == 0) return true;

    // Member hashes never leave a record, and a hash already mapped keeps
    // its owner, so the record is reached by a hash when it already was or
    // when one of the catalog's members is not mapped yet.
    bool reachedByHash = record != nullptr && record->ownsHash;
    for (uint32_t i = 0; i < evidence.MemberCount() && !reachedByHash; ++i) {
        reachedByHash = store.hashes().Find(evidence.Member(i)) == nullptr;
    }

    if (holds) return reachedByHash;

    // The same maxima the loader computes, over the other records.
    GrowableArray<CatalogRecord>& records = store.records();
    uint32_t otherNameMax = 0;
    store.names().ForEach([&](NameEntry& entry) {
        if (entry.ref.index < records.count() && &records[entry.ref.index] != record) {
            otherNameMax = std::max<uint32_t>(otherNameMax, records[entry.ref.index].HighestSignerValue());
        }
        return true;
    });
    uint32_t otherHashMax = 0;
    for (const CatalogRecord& other : records.items()) {
        if (other.ownsHash && &other != record) otherHashMax = std::max<uint32_t>(otherHashMax, other.HighestSignerValue());
    }
    if (record == nullptr && otherNameMax == tableSize - 1 && otherHashMax == tableSize - 1) {
        store.NoteSignerReachHolds();
    }
    // With the record's new values.
    uint32_t nameMax = std::max(highest, otherNameMax);
    uint32_t hashMax = std::max(reachedByHash ? highest : 0, otherHashMax);
    return nameMax == hashMax && nameMax == tableSize + fresh - 1;
}

}  // namespace TarnVerifyTrustDriver
