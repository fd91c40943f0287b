// The in-memory form of Cat.DB: one record per accepted catalog, the map from
// every member hash to the record of the catalog that first listed it, the map
// from catalog path to record, and the table of distinct signer values that
// records name by one-byte index. Nothing leaves a store but by ClearStore.
// Every failure is a false result with a trace event; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "engine/CatalogEvidence.h"
#include "engine/CatalogRecord.h"
#include "engine/GrowableArray.h"
#include "engine/MemberHashIndex.h"
#include "engine/OrderedMap.h"
#include "engine/PreparedWalk.h"
#include "engine/StoreEntries.h"
#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

class CatalogStore {
public:
    // At most 254 signer values: index 0xFF means unset.
    static constexpr uint32_t kMaxSignerValues = 254;
    // A record index must stay below 0xFFFFFFFF, the unset index.
    static constexpr uint32_t kMaxRecords = 0xFFFFFFFEu;

    // Container storage and scratch objects come through `callbacks`.
    explicit CatalogStore(CCallbacks* callbacks = nullptr);
    CatalogStore(const CatalogStore&) = delete;
    CatalogStore& operator=(const CatalogStore&) = delete;

    // Takes in one catalog file of a scan. True: added, updated, or skipped as
    // unchanged or not a plain file. False: not taken in; whatever was
    // created before the failing step stays, marked unsaved.
    // A walk `prepared` ahead (on a worker thread) stands in for the one
    // AddCatalog would make, with its events emitted where that one's would
    // be; without it, or when it was not walked, AddCatalog walks itself.
    bool AddCatalog(const std::wstring& path, const CatalogFindData& findData, ICatalogVerifier& verifier,
                    PreparedWalk* prepared = nullptr);
    // Whether AddCatalog would walk the catalog as the store stands: a plain
    // file the store has no record of with this file time. Emits nothing.
    bool WouldWalk(const std::wstring& path, const CatalogFindData& findData);

    // Where container storage and scratch objects come from.
    CCallbacks* callbacks() const { return callbacks_; }

    // Empties all five containers; the arrays keep their capacity.
    void ClearStore();

    GrowableArray<CatalogRecord>& records() { return records_; }
    OrderedMap<NameOrder>& names() { return names_; }
    MemberHashIndex& hashes() { return hashes_; }
    GrowableArray<SignerValueEntry>& signerValues() { return signerValues_; }
    OrderedMap<SignerValueOrder>& signerValueIndex() { return signerValueIndex_; }

    // Adds a copy of `value` to the end of the signer value table; on failure
    // the table is unchanged.
    bool AppendSignerValue(std::span<const uint8_t> value, bool unsaved);

    // Whether the store is known to be as the loader demands: the highest
    // signer value index reached through names equals the one reached through
    // member hashes and is the table's last. Noted where that was shown,
    // forgotten when AddCatalog starts changing the store, and void once any
    // container's size differs from when it was noted, so that a change made
    // through the accessors above cannot leave a stale note behind.
    bool SignerReachHolds() const { return reachNoted_ && reachCounts_ == Counts(); }
    void NoteSignerReachHolds() {
        reachNoted_ = true;
        reachCounts_ = Counts();
    }
    void ForgetSignerReach() { reachNoted_ = false; }

private:
    struct ContainerCounts {
        uint32_t records, names, hashes, values;
        bool operator==(const ContainerCounts&) const = default;
    };
    ContainerCounts Counts() const {
        return {records_.count(), names_.count(), hashes_.count(), signerValues_.count()};
    }

    CCallbacks* callbacks_;
    GrowableArray<CatalogRecord> records_;
    OrderedMap<NameOrder> names_;
    MemberHashIndex hashes_;
    GrowableArray<SignerValueEntry> signerValues_;
    OrderedMap<SignerValueOrder> signerValueIndex_;
    bool reachNoted_ = false;
    ContainerCounts reachCounts_{};
};

// The record `reference` names, or null when it has no owner or its index is
// beyond the owner's records.
CatalogRecord* ResolveRef(const CatalogRef& reference);

// Points `reference` at record `index` of `store` and marks it unsaved; only
// when a store is given and the index is below its record count.
bool SetRef(CatalogRef& reference, CatalogStore* store, uint32_t index);

// Finds or adds `value` in the signer value table of the record's owner and
// gives its index. Refused once the table holds 254 values, also for a value
// already in it.
bool InternSignerValue(CatalogRecord& record, std::span<const uint8_t> value, uint8_t& index);

}  // namespace TarnVerifyTrustDriver
