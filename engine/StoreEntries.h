// The entries of the catalog store's three maps and the order the ordered
// ones keep.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/CatalogRecord.h"
#include "engine/MemberHash.h"
#include "runtime/Memory.h"

namespace TarnVerifyTrustDriver {

// `names`: a catalog path, held as UTF-16LE code units, and its record.
struct NameEntry {
    CMemory name;
    CatalogRef ref;
};

struct NameOrder {
    using Entry = NameEntry;
    using Key = std::wstring_view;
    // By UTF-16 code unit as an unsigned number, case-sensitive; a prefix
    // sorts first.
    static int Compare(std::wstring_view path, const NameEntry& entry);
    static bool Assign(NameEntry& entry, std::wstring_view path);
};

// `hashes`: a member hash and the index of the record that first listed it.
// The reference's owner is always the store that holds the map, so only its
// index and unsaved mark are kept; that keeps 500,000 entries compact.
struct HashEntry {
    uint8_t bytes[MemberHash::kMaxLength] = {};
    uint8_t length = 0;
    bool unsaved = false;
    uint32_t index = kUnsetRecordIndex;

    std::span<const uint8_t> view() const { return {bytes, length}; }
};
static_assert(sizeof(HashEntry) == 40);

// `signerValueIndex`: a signer value's bytes and its index in the table.
struct SignerIndexEntry {
    CMemory value;
    uint8_t index = 0;
};

struct SignerValueOrder {
    using Entry = SignerIndexEntry;
    using Key = std::span<const uint8_t>;
    // Shorter first (an empty value before any other), then byte-wise.
    static int Compare(std::span<const uint8_t> value, const SignerIndexEntry& entry);
    static bool Assign(SignerIndexEntry& entry, std::span<const uint8_t> value);
};

// Copies `bytes` into `memory`; false (and `memory` empty) without storage.
bool CopyBytes(CMemory& memory, std::span<const uint8_t> bytes);

}  // namespace TarnVerifyTrustDriver
