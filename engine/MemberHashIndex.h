// The member hashes of a store: entries appended to a node pool, so their
// numbers stay put, and an open-addressing table of entry numbers that finds
// them. A build inserts hundreds of thousands of hashes in no order, and a
// lookup here touches one table slot where a search tree would miss the cache
// on every level. Saving wants key order, which HashKeyOrder gives on demand.
//
// The member hashes come from whoever signed a catalog, so the table's hash
// is keyed with a secret drawn once per process: nobody can choose hashes that
// pile up in one run of slots.
#pragma once

#include <cstdint>
#include <span>

#include "engine/MemberHash.h"
#include "engine/NodePool.h"
#include "engine/StoreEntries.h"
#include "platform/Prefetch.h"
#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

class MemberHashIndex {
public:
    // `entry` null: nothing was found and nothing could be inserted.
    struct Result {
        HashEntry* entry = nullptr;
        bool inserted = false;
    };

    explicit MemberHashIndex(CCallbacks* callbacks = nullptr);
    ~MemberHashIndex();
    MemberHashIndex(const MemberHashIndex&) = delete;
    MemberHashIndex& operator=(const MemberHashIndex&) = delete;

    uint32_t count() const { return entries_.count(); }
    HashEntry& operator[](uint32_t number) { return entries_[number]; }
    CCallbacks* callbacks() const { return callbacks_; }

    void Clear();
    HashEntry* Find(const MemberHash& key);
    // Never replaces: an entry already present is returned as it is.
    Result FindOrInsert(const MemberHash& key);
    // Makes room for `more` entries beyond those held, so that adding them
    // grows the table at most once; false without the memory.
    bool Reserve(uint32_t more);

    // Calls `visit(entry)` in the order the entries were added until it
    // returns false; says whether every entry was visited.
    template <class Visit>
    bool ForEach(Visit&& visit) {
        for (uint32_t number = 0; number < count(); ++number) {
            if (!visit(entries_[number])) return false;
        }
        return true;
    }

private:
    uint64_t KeyHash(std::span<const uint8_t> key) const;
    // The slot that holds `key`, or the empty one where it would go.
    uint32_t Probe(std::span<const uint8_t> key, uint64_t hash);
    // A slot holds the entry number plus one in its low `bits_` bits and
    // hash bits above them, so most mismatches never touch an entry.
    uint32_t Tag(uint64_t hash) const { return static_cast<uint32_t>(hash >> 32) & ~Mask(); }
    uint32_t Mask() const { return (1u << bits_) - 1; }
    // A table of 2^bits slots with every entry in it.
    bool Grow(uint32_t bits);

    CCallbacks* callbacks_;
    uint64_t secret_[4];
    NodePool<HashEntry> entries_;
    uint32_t* slots_ = nullptr;
    uint32_t bits_ = 0;  // the table has 2^bits_ slots; none while 0
};

// The numbers of an index's entries sorted by key, every entry's or only the
// unsaved ones', in storage from the memory service (8 bytes an entry).
class HashKeyOrder {
public:
    HashKeyOrder(MemberHashIndex& index, bool unsavedOnly);
    ~HashKeyOrder();
    HashKeyOrder(const HashKeyOrder&) = delete;
    HashKeyOrder& operator=(const HashKeyOrder&) = delete;

    // False when the storage could not be had.
    bool ok() const { return ok_; }

    // Calls `visit(entry)` in key order until it returns false; says whether
    // every entry was visited.
    template <class Visit>
    bool ForEach(Visit&& visit) {
        for (uint32_t i = 0; i < count_; ++i) {
            // Key order is scattered over the pool: ask for an entry ahead.
            if (i + kAhead < count_) korva::platform::Prefetch(&index_[static_cast<uint32_t>(sorted_[i + kAhead])]);
            if (!visit(index_[static_cast<uint32_t>(sorted_[i])])) return false;
        }
        return true;
    }

private:
    static constexpr uint32_t kAhead = 8;

    MemberHashIndex& index_;
    uint64_t* sorted_ = nullptr;  // the first key bytes above the entry number
    uint32_t count_ = 0;
    bool ok_ = true;
};

}  // namespace TarnVerifyTrustDriver
