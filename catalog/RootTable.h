// The trusted root certificates compiled into the program, and the mark each
// row keeps once its self-signature has been verified, so that a later build
// of the trust anchor set in the same process skips that check.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace TarnVerifyTrustDriver {

struct RootRow {
    uint64_t id;
    const uint8_t* der;
    uint64_t length;
    std::atomic<uint64_t> verified;  // 0 until the self-signature verified, then 1
};

inline constexpr size_t kRootCount = 17;

// The rows fall into three groups by id: 1 code-signing anchors (ids below
// 300), 2 the second anchor list (300-899), 3 the maker's development
// anchors (900 and up).
inline constexpr uint32_t kRootGroupCount = 3;
uint32_t RootGroup(uint64_t id);

// The process-wide table, in table order.
std::span<RootRow> RootTable();

// Sets a row's mark from 0 to 1; false when another thread already did.
bool MarkRootVerified(RootRow& row);

}  // namespace TarnVerifyTrustDriver
