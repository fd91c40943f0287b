// The SHA-2 compression function, written once for both word sizes
// (FIPS 180-4 sections 6.2 and 6.4). The round loop is unrolled by eight with
// the working variables rotated through the argument list, so no values are
// shuffled between rounds.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "toolkit/crypto/Bytes.h"

namespace korva::crypto::detail {

// Everything below is forced inline so that a caller compiled for a richer
// instruction set (see Sha512.cpp) gets the whole compression function
// generated with it.
#if defined(_MSC_VER) && !defined(__clang__)
#define KORVA_SHA2_INLINE __forceinline
#else
#define KORVA_SHA2_INLINE inline __attribute__((always_inline))
#endif

template <typename Word>
KORVA_SHA2_INLINE constexpr Word RotateRight(Word x, int n) {
    return static_cast<Word>((x >> n) | (x << (8 * sizeof(Word) - n)));
}

// Traits: Word, kRounds, the rotation amounts of the four sigma functions,
// Load (one big-endian word) and kConstants.
template <typename Traits>
struct Sha2 {
    using Word = typename Traits::Word;
    static constexpr size_t kBlockSize = 16 * sizeof(Word);

    KORVA_SHA2_INLINE static Word BigSigma0(Word x) { return RotateRight(x, Traits::kS0[0]) ^ RotateRight(x, Traits::kS0[1]) ^ RotateRight(x, Traits::kS0[2]); }
    KORVA_SHA2_INLINE static Word BigSigma1(Word x) { return RotateRight(x, Traits::kS1[0]) ^ RotateRight(x, Traits::kS1[1]) ^ RotateRight(x, Traits::kS1[2]); }
    KORVA_SHA2_INLINE static Word SmallSigma0(Word x) { return RotateRight(x, Traits::ks0[0]) ^ RotateRight(x, Traits::ks0[1]) ^ (x >> Traits::ks0[2]); }
    KORVA_SHA2_INLINE static Word SmallSigma1(Word x) { return RotateRight(x, Traits::ks1[0]) ^ RotateRight(x, Traits::ks1[1]) ^ (x >> Traits::ks1[2]); }

    // `bc` carries b ^ c in and a ^ b out: the variables rotate, so this
    // round's a ^ b is the next round's b ^ c, which saves an operation in
    // Maj(a, b, c) = b ^ ((a ^ b) & (b ^ c)). Ch(e, f, g) is the sum of two
    // disjoint halves, (e & f) + (~e & g), each one operation from e (ANDN
    // where the instruction set has it), and Sigma1(e), the slowest term,
    // is added last.
    KORVA_SHA2_INLINE static void Round(Word a, Word b, Word& d, Word e, Word f, Word g, Word& h, Word kw, Word& bc) {
        const Word ab = a ^ b;
        const Word partial = (h + kw) + (e & f) + (~e & g);
        const Word sigma1 = BigSigma1(e);
        const Word t2 = BigSigma0(a) + (b ^ (ab & bc));
        bc = ab;
        d = (d + partial) + sigma1;
        h = (partial + t2) + sigma1;
    }

    // Rounds Base to Base + 7 of a group of sixteen; `next.operator()<I>()`
    // hands out W[t] + K[t] for round I of the group. The indices are
    // constants, so whatever `next` reads stays in registers or at fixed
    // stack slots.
    template <size_t Base, typename Next>
    KORVA_SHA2_INLINE static void EightRounds(std::array<Word, 8>& v, Next& next, Word& bc) {
        Word& a = v[0]; Word& b = v[1]; Word& c = v[2]; Word& d = v[3];
        Word& e = v[4]; Word& f = v[5]; Word& g = v[6]; Word& h = v[7];
        Round(a, b, d, e, f, g, h, next.template operator()<Base + 0>(), bc);
        Round(h, a, c, d, e, f, g, next.template operator()<Base + 1>(), bc);
        Round(g, h, b, c, d, e, f, next.template operator()<Base + 2>(), bc);
        Round(f, g, a, b, c, d, e, next.template operator()<Base + 3>(), bc);
        Round(e, f, h, a, b, c, d, next.template operator()<Base + 4>(), bc);
        Round(d, e, g, h, a, b, c, next.template operator()<Base + 5>(), bc);
        Round(c, d, f, g, h, a, b, next.template operator()<Base + 6>(), bc);
        Round(b, c, e, f, g, h, a, next.template operator()<Base + 7>(), bc);
    }

    template <typename Next>
    KORVA_SHA2_INLINE static void SixteenRounds(std::array<Word, 8>& v, Next& next, Word& bc) {
        EightRounds<0>(v, next, bc);
        EightRounds<8>(v, next, bc);
    }

    KORVA_SHA2_INLINE static void CompressOne(std::span<Word, 8> state, FixedBytes<kBlockSize> block) {
        std::array<Word, 16> w{};  // the schedule, kept as a 16-word ring
        for (size_t i = 0; i < 16; ++i) w[i] = Traits::Load(block.subspan(sizeof(Word) * i).template first<sizeof(Word)>());
        std::array<Word, 8> v{};
        std::copy(state.begin(), state.end(), v.begin());
        const Word* k = Traits::kConstants.data();
        auto loaded = [&w, &k]<size_t I>() -> Word { return w[I] + k[I]; };
        // Extends the ring by one word: W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16].
        auto extended = [&w, &k]<size_t I>() -> Word {
            w[I] += SmallSigma1(w[(I + 14) & 15]) + w[(I + 9) & 15] + SmallSigma0(w[(I + 1) & 15]);
            return w[I] + k[I];
        };
        Word bc = v[1] ^ v[2];
        SixteenRounds(v, loaded, bc);
        for (k += 16; k < Traits::kConstants.data() + Traits::kRounds; k += 16) SixteenRounds(v, extended, bc);
        for (size_t i = 0; i < 8; ++i) state[i] += v[i];
    }

    KORVA_SHA2_INLINE static void Compress(std::span<Word, 8> state, ByteView blocks) {
        // A loop of its own, not ForEachBlock: a lambda would be compiled
        // without the caller's instruction set. Whole blocks only.
        while (blocks.size() >= kBlockSize) {
            CompressOne(state, blocks.template first<kBlockSize>());
            blocks = blocks.subspan(kBlockSize);
        }
    }
};

}  // namespace korva::crypto::detail
