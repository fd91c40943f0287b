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

template <typename Word>
constexpr Word RotateRight(Word x, int n) {
    return static_cast<Word>((x >> n) | (x << (8 * sizeof(Word) - n)));
}

// Traits: Word, kRounds, the rotation amounts of the four sigma functions,
// Load (one big-endian word) and kConstants.
template <typename Traits>
struct Sha2 {
    using Word = typename Traits::Word;
    static constexpr size_t kBlockSize = 16 * sizeof(Word);

    static Word BigSigma0(Word x) { return RotateRight(x, Traits::kS0[0]) ^ RotateRight(x, Traits::kS0[1]) ^ RotateRight(x, Traits::kS0[2]); }
    static Word BigSigma1(Word x) { return RotateRight(x, Traits::kS1[0]) ^ RotateRight(x, Traits::kS1[1]) ^ RotateRight(x, Traits::kS1[2]); }
    static Word SmallSigma0(Word x) { return RotateRight(x, Traits::ks0[0]) ^ RotateRight(x, Traits::ks0[1]) ^ (x >> Traits::ks0[2]); }
    static Word SmallSigma1(Word x) { return RotateRight(x, Traits::ks1[0]) ^ RotateRight(x, Traits::ks1[1]) ^ (x >> Traits::ks1[2]); }

    static void Round(Word a, Word b, Word c, Word& d, Word e, Word f, Word g, Word& h, Word kw) {
        const Word t1 = h + BigSigma1(e) + (g ^ (e & (f ^ g))) + kw;
        const Word t2 = BigSigma0(a) + ((a & b) | (c & (a | b)));
        d += t1;
        h = t1 + t2;
    }

    // Rounds Base to Base + 7 of a group of sixteen. With Schedule, each
    // first extends the ring by one word: W[t] = s1(W[t-2]) + W[t-7] +
    // s0(W[t-15]) + W[t-16]. The ring indices are constants, so the words
    // stay in registers or at fixed stack slots.
    template <size_t Base, bool Schedule>
    static void EightRounds(std::array<Word, 8>& v, std::array<Word, 16>& w, const Word* k) {
        auto next = [&w, k]<size_t I>() -> Word {
            if constexpr (Schedule) w[I] += SmallSigma1(w[(I + 14) & 15]) + w[(I + 9) & 15] + SmallSigma0(w[(I + 1) & 15]);
            return w[I] + k[I];
        };
        Word& a = v[0]; Word& b = v[1]; Word& c = v[2]; Word& d = v[3];
        Word& e = v[4]; Word& f = v[5]; Word& g = v[6]; Word& h = v[7];
        Round(a, b, c, d, e, f, g, h, next.template operator()<Base + 0>());
        Round(h, a, b, c, d, e, f, g, next.template operator()<Base + 1>());
        Round(g, h, a, b, c, d, e, f, next.template operator()<Base + 2>());
        Round(f, g, h, a, b, c, d, e, next.template operator()<Base + 3>());
        Round(e, f, g, h, a, b, c, d, next.template operator()<Base + 4>());
        Round(d, e, f, g, h, a, b, c, next.template operator()<Base + 5>());
        Round(c, d, e, f, g, h, a, b, next.template operator()<Base + 6>());
        Round(b, c, d, e, f, g, h, a, next.template operator()<Base + 7>());
    }

    static void CompressOne(std::span<Word, 8> state, ByteView block) {
        std::array<Word, 16> w{};  // the schedule, kept as a 16-word ring
        for (size_t i = 0; i < 16; ++i) w[i] = Traits::Load(block.subspan(sizeof(Word) * i));
        std::array<Word, 8> v{};
        std::copy(state.begin(), state.end(), v.begin());
        const Word* k = Traits::kConstants.data();
        EightRounds<0, false>(v, w, k);
        EightRounds<8, false>(v, w, k);
        for (size_t t = 16; t < Traits::kRounds; t += 16) {
            EightRounds<0, true>(v, w, k + t);
            EightRounds<8, true>(v, w, k + t);
        }
        for (size_t i = 0; i < 8; ++i) state[i] += v[i];
    }

    static void Compress(std::span<Word, 8> state, ByteView blocks) {
        for (size_t offset = 0; offset < blocks.size(); offset += kBlockSize) CompressOne(state, blocks.subspan(offset, kBlockSize));
    }
};

}  // namespace korva::crypto::detail
