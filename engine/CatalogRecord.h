// What the catalog store keeps per catalog, and how entries name a record.
#pragma once

#include <cstdint>
#include <utility>

#include "runtime/Memory.h"

namespace TarnVerifyTrustDriver {

class CatalogStore;

// A FILETIME: 100 ns ticks since 1601, as its two halves.
struct FileTime {
    uint32_t low = 0;
    uint32_t high = 0;
    friend bool operator==(const FileTime&, const FileTime&) = default;
};

inline constexpr uint8_t kUnsetSignerValue = 0xFF;
inline constexpr uint32_t kUnsetRecordIndex = 0xFFFFFFFFu;

struct CatalogRecord {
    FileTime fileTime;
    CatalogStore* owner = nullptr;  // never persisted
    // Indexes into the signer value table, in the catalog callback's order:
    // subject name, issuer name, serial number, certificate SHA-1. An empty
    // record has the first three unset and the fourth 0.
    uint8_t signerValue1 = kUnsetSignerValue;
    uint8_t signerValue2 = kUnsetSignerValue;
    uint8_t signerValue3 = kUnsetSignerValue;
    uint8_t signerValue4 = 0;
    uint32_t signerFlags = 0;
    uint32_t timeValue = 0;
    uint64_t recordIndex = 0;  // the record's own position
    bool unsaved = false;
    bool ownsHash = false;  // never persisted: a member hash entry names this record

    // The largest of the four signer value indexes.
    uint8_t HighestSignerValue() const {
        uint8_t a = signerValue1 > signerValue2 ? signerValue1 : signerValue2;
        uint8_t b = signerValue3 > signerValue4 ? signerValue3 : signerValue4;
        return a > b ? a : b;
    }
};

// Names a record by its index in its owner's records.
struct CatalogRef {
    CatalogStore* owner = nullptr;
    uint32_t index = kUnsetRecordIndex;
    bool unsaved = false;
};

// One row of the signer value table.
struct SignerValueEntry {
    CMemory value;
    bool unsaved = false;

    friend void swap(SignerValueEntry& a, SignerValueEntry& b) noexcept {
        a.value.Swap(b.value);
        std::swap(a.unsaved, b.unsaved);
    }
};

}  // namespace TarnVerifyTrustDriver
