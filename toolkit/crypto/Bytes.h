// Octet views and the fixed-order word loads the hash functions share. A load
// takes a fixed-size span and the block loop hands out whole blocks only, so
// no load can run past its input. Loads go through shifts, not casts, so they
// are free of alignment and aliasing assumptions; compilers turn them into
// single (byte-swapping) moves. Encoding goes through platform::ByteWriter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace korva::crypto {

using ByteView = std::span<const uint8_t>;
using MutableByteView = std::span<uint8_t>;
template <size_t N>
using FixedBytes = std::span<const uint8_t, N>;

inline uint32_t LoadBe32(FixedBytes<4> b) {
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}

inline uint32_t LoadLe32(FixedBytes<4> b) {
    return uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
}

inline uint64_t LoadBe64(FixedBytes<8> b) {
    return (uint64_t{LoadBe32(b.first<4>())} << 32) | LoadBe32(b.last<4>());
}

// The N words of one block, each read by `load`.
template <typename Word, size_t N, typename Load>
inline void LoadWords(FixedBytes<N * sizeof(Word)> block, std::array<Word, N>& words, Load load) {
    for (size_t i = 0; i < N; ++i) words[i] = load(block.subspan(i * sizeof(Word)).template first<sizeof(Word)>());
}

// Hands each whole block of `blocks` to `compress`; callers pass whole blocks,
// and a part block at the end is never read.
template <size_t BlockSize, typename Compress>
inline void ForEachBlock(ByteView blocks, Compress compress) {
    while (blocks.size() >= BlockSize) {
        compress(blocks.first<BlockSize>());
        blocks = blocks.subspan(BlockSize);
    }
}

inline uint32_t Rotl32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

}  // namespace korva::crypto
