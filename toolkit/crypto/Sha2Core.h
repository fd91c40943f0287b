// The SHA-2 compression function, written once for both word sizes
// (FIPS 180-4 sections 6.2 and 6.4). The round loop is unrolled by eight with
// the working variables rotated through the argument list, so no values are
// shuffled between rounds.
#pragma once

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

    static void CompressOne(std::span<Word, 8> state, ByteView block) {
        std::array<Word, 16> w{};  // the schedule, kept as a 16-word ring
        for (size_t i = 0; i < 16; ++i) w[i] = Traits::Load(block.subspan(sizeof(Word) * i));
        auto next = [&w](size_t t) -> Word {
            if (t >= 16) w[t & 15] += SmallSigma1(w[(t - 2) & 15]) + w[(t - 7) & 15] + SmallSigma0(w[(t - 15) & 15]);
            return w[t & 15] + Traits::kConstants[t];
        };

        Word a = state[0], b = state[1], c = state[2], d = state[3];
        Word e = state[4], f = state[5], g = state[6], h = state[7];
        for (size_t t = 0; t < Traits::kRounds; t += 8) {
            Round(a, b, c, d, e, f, g, h, next(t));
            Round(h, a, b, c, d, e, f, g, next(t + 1));
            Round(g, h, a, b, c, d, e, f, next(t + 2));
            Round(f, g, h, a, b, c, d, e, next(t + 3));
            Round(e, f, g, h, a, b, c, d, next(t + 4));
            Round(d, e, f, g, h, a, b, c, next(t + 5));
            Round(c, d, e, f, g, h, a, b, next(t + 6));
            Round(b, c, d, e, f, g, h, a, next(t + 7));
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }

    static void Compress(std::span<Word, 8> state, ByteView blocks) {
        for (size_t offset = 0; offset < blocks.size(); offset += kBlockSize) CompressOne(state, blocks.subspan(offset, kBlockSize));
    }
};

}  // namespace korva::crypto::detail
