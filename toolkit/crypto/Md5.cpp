// MD5 (RFC 1321). Needed only for old certificates and catalog signers, so a
// compact loop rather than unrolled code.
#include <array>

#include "toolkit/crypto/HashCores.h"

namespace korva::crypto::detail {

namespace {

// floor(|sin(i + 1)| * 2^32), as tabulated in RFC 1321.
constexpr std::array<uint32_t, 64> kSineTable = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Per round: the four rotation amounts, and how the word index steps.
constexpr std::array<std::array<int, 4>, 4> kShifts = {{{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}}};
constexpr std::array<size_t, 4> kIndexStart = {0, 1, 5, 0};
constexpr std::array<size_t, 4> kIndexStep = {1, 5, 3, 7};

void CompressOne(std::span<uint32_t, 4> state, FixedBytes<64> block) {
    std::array<uint32_t, 16> x{};
    LoadWords<uint32_t, 16>(block, x, LoadLe32);

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (size_t i = 0; i < 64; ++i) {
        const size_t round = i / 16;
        uint32_t f = 0;
        switch (round) {
            case 0: f = (b & c) | (~b & d); break;
            case 1: f = (b & d) | (c & ~d); break;
            case 2: f = b ^ c ^ d; break;
            default: f = c ^ (b | ~d); break;
        }
        const size_t k = (kIndexStart[round] + kIndexStep[round] * i) % 16;
        const uint32_t sum = a + f + x[k] + kSineTable[i];
        a = d;
        d = c;
        c = b;
        b += Rotl32(sum, kShifts[round][i % 4]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

void Md5Compress(std::span<uint32_t, 4> state, ByteView blocks) {
    ForEachBlock<64>(blocks, [state](FixedBytes<64> block) { CompressOne(state, block); });
}

}  // namespace korva::crypto::detail
