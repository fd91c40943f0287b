// Octet views and the fixed-order word loads and stores the hash functions and
// the big-number code share. Loads go through shifts, not casts, so they are
// free of alignment and aliasing assumptions; compilers turn them into single
// (byte-swapping) moves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korva::crypto {

using ByteView = std::span<const uint8_t>;
using MutableByteView = std::span<uint8_t>;

inline uint32_t LoadBe32(ByteView b) {
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}

inline uint32_t LoadLe32(ByteView b) {
    return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

inline uint64_t LoadBe64(ByteView b) {
    return (uint64_t{LoadBe32(b)} << 32) | LoadBe32(b.subspan(4));
}

inline void StoreBe32(MutableByteView b, uint32_t v) {
    b[0] = static_cast<uint8_t>(v >> 24);
    b[1] = static_cast<uint8_t>(v >> 16);
    b[2] = static_cast<uint8_t>(v >> 8);
    b[3] = static_cast<uint8_t>(v);
}

inline void StoreLe32(MutableByteView b, uint32_t v) {
    b[0] = static_cast<uint8_t>(v);
    b[1] = static_cast<uint8_t>(v >> 8);
    b[2] = static_cast<uint8_t>(v >> 16);
    b[3] = static_cast<uint8_t>(v >> 24);
}

inline void StoreBe64(MutableByteView b, uint64_t v) {
    StoreBe32(b, static_cast<uint32_t>(v >> 32));
    StoreBe32(b.subspan(4), static_cast<uint32_t>(v));
}

inline uint32_t Rotl32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace korva::crypto
