// The body of Cat.DB: the store's entries as an append-only log of tagged
// entries, all integers little-endian, no alignment, count or terminator.
//
//   0xBE record:       fileTime (low u32, high u32), signerFlags u32,
//                      signerValue2, signerValue1, signerValue3, signerValue4
//                      (u8 each; the second before the first), timeValue u32,
//                      recordIndex u64
//   0xDE name:         u16 byte count n > 0, n bytes of UTF-16LE kernel-form
//                      path, u32 record index
//   0xAD member hash:  u8 length L <= 32, L bytes, u32 record index
//   0xC0 signer value: u32 length L, L bytes; the k-th has index k
#pragma once

#include <cstdint>

#include "engine/CatalogStore.h"
#include "engine/LoadDiagnostics.h"
#include "engine/StoreOutput.h"
#include "runtime/Stream.h"

namespace TarnVerifyTrustDriver {

inline constexpr uint8_t kRecordTag = 0xBE;
inline constexpr uint8_t kNameTag = 0xDE;
inline constexpr uint8_t kHashTag = 0xAD;
inline constexpr uint8_t kSignerValueTag = 0xC0;

// Appends every unsaved entry in four passes (records, names, hashes, signer
// values), each in container order, clearing each entry's mark as soon as it
// is written. A failed write stops at once; what was written stays saved.
bool SaveStore(CatalogStore& store, IStoreOutput& output);

// Clears the store and replays the log from `position` to the end of the
// stream, then checks that the result is consistent. False: the file must be
// discarded; the store then holds whatever was replayed, and `diagnostics`,
// when given, says which entry broke which rule.
bool LoadStore(CatalogStore& store, IStream& stream, uint64_t position, LoadDiagnostics* diagnostics = nullptr);

}  // namespace TarnVerifyTrustDriver
