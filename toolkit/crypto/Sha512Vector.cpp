// SHA-512 with the message schedule in vector registers: two blocks at a
// time, the two schedule words of a pair for each block in one 256-bit
// register (one block per 128-bit lane), so that AVX-512's rotates and
// three-way XOR extend both schedules while the integer units run the
// rounds (with BMI2's non-destructive rotate). The rounds take W[t] + K[t]
// from a stack buffer.
#include "toolkit/crypto/HashCores.h"

#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS

#include <immintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>  // _ReadWriteBarrier
#endif

#include "toolkit/crypto/Sha2Core.h"
#include "toolkit/crypto/Sha512Traits.h"

namespace korva::crypto::detail {

namespace {

using Rounds = Sha2<Sha512Traits>;

// W + K for a pair of rounds: both words of the first block, then of the second.
using PairsWithConstants = uint64_t[Sha512Traits::kRounds / 2][4];

// Two rotates and a shift, XORed in one instruction (truth table 0x96).
// The amounts are template arguments: unoptimised builds take the
// intrinsics' immediates only from literal constants.
template <int Rotate0, int Rotate1, int Shift>
KORVA_TARGET_AVX512VL_BMI2 KORVA_SHA2_INLINE __m256i SmallSigma(__m256i x) {
    return _mm256_ternarylogic_epi64(_mm256_ror_epi64(x, Rotate0), _mm256_ror_epi64(x, Rotate1),
                                     _mm256_srli_epi64(x, Shift), 0x96);
}

// The ring x holds the last sixteen words, x[q] words 2q and 2q + 1 of the
// window. Replaces x[q] with the two words sixteen places on:
// W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16].
template <size_t Q>
KORVA_TARGET_AVX512VL_BMI2 KORVA_SHA2_INLINE void ExtendPair(__m256i (&x)[8]) {
    const __m256i minus15 = _mm256_alignr_epi8(x[(Q + 1) % 8], x[Q], 8);
    const __m256i minus7 = _mm256_alignr_epi8(x[(Q + 5) % 8], x[(Q + 4) % 8], 8);
    __m256i sum = _mm256_add_epi64(x[Q], SmallSigma<Sha512Traits::ks0[0], Sha512Traits::ks0[1], Sha512Traits::ks0[2]>(minus15));
    sum = _mm256_add_epi64(sum, minus7);
    x[Q] = _mm256_add_epi64(sum, SmallSigma<Sha512Traits::ks1[0], Sha512Traits::ks1[1], Sha512Traits::ks1[2]>(x[(Q + 7) % 8]));
}

// Stores W + K of the ring's sixteen words for the rounds from `round` on.
KORVA_TARGET_AVX512VL_BMI2 KORVA_SHA2_INLINE void StoreWithConstants(const __m256i (&x)[8], size_t round,
                                                                     PairsWithConstants& out) {
    for (size_t q = 0; q < 8; ++q) {
        const uint64_t* k = Sha512Traits::kConstants.data() + round + 2 * q;
        const __m256i constants = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(out[round / 2 + q]), _mm256_add_epi64(x[q], constants));
    }
}

KORVA_TARGET_AVX512VL_BMI2 KORVA_SHA2_INLINE __m256i LoadWords(ByteView first, ByteView second, size_t q) {
    const __m256i byteSwapWords =
        _mm256_set_epi64x(0x08090a0b0c0d0e0fLL, 0x0001020304050607LL, 0x08090a0b0c0d0e0fLL, 0x0001020304050607LL);
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first.subspan(16 * q, 16).data()));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second.subspan(16 * q, 16).data()));
    return _mm256_shuffle_epi8(_mm256_set_m128i(high, low), byteSwapWords);
}

// Keeps the compiler from handing the rounds their W + K straight from the
// vector registers it just stored: an extract costs two operations, a load
// folds into the round's addition for free.
KORVA_SHA2_INLINE void ReadBackFromMemory(PairsWithConstants& wk) {
#if !defined(_MSC_VER) || defined(__clang__)
    asm volatile("" : : "r"(&wk) : "memory");
#else
    _ReadWriteBarrier();
#endif
}

// Sixteen rounds of one block from round `Round` on, over its lane (0 or 1)
// of the stored schedule; with `Extend`, the schedule's next sixteen words
// are made first (the processor runs that vector work beside the rounds'
// integer work). The groups are unrolled: with the round a constant, every
// W + K read is at a fixed stack offset and no register goes to indexing,
// which leaves the rounds their registers (about 8% faster).
template <size_t Lane, bool Extend, size_t Round>
KORVA_TARGET_AVX512VL_BMI2 KORVA_SHA2_INLINE void RunGroup(std::array<uint64_t, 8>& v, PairsWithConstants& wk,
                                                           __m256i (&x)[8], uint64_t& bc) {
    if constexpr (Extend && Round + 16 < Sha512Traits::kRounds) {
        ExtendPair<0>(x);
        ExtendPair<1>(x);
        ExtendPair<2>(x);
        ExtendPair<3>(x);
        ExtendPair<4>(x);
        ExtendPair<5>(x);
        ExtendPair<6>(x);
        ExtendPair<7>(x);
        StoreWithConstants(x, Round + 16, wk);
    }
    ReadBackFromMemory(wk);
    auto stored = [&wk]<size_t I>() -> uint64_t { return wk[Round / 2 + I / 2][2 * Lane + I % 2]; };
    Rounds::SixteenRounds(v, stored, bc);
}

// Eighty rounds of one block over its lane of the stored schedule.
template <size_t Lane, bool Extend>
KORVA_TARGET_AVX512VL_BMI2 KORVA_SHA2_INLINE void RunRounds(std::span<uint64_t, 8> state, PairsWithConstants& wk,
                                                            __m256i (&x)[8]) {
    std::array<uint64_t, 8> v;
    std::copy(state.begin(), state.end(), v.begin());
    uint64_t bc = v[1] ^ v[2];
    RunGroup<Lane, Extend, 0>(v, wk, x, bc);
    RunGroup<Lane, Extend, 16>(v, wk, x, bc);
    RunGroup<Lane, Extend, 32>(v, wk, x, bc);
    RunGroup<Lane, Extend, 48>(v, wk, x, bc);
    RunGroup<Lane, Extend, 64>(v, wk, x, bc);
    for (size_t i = 0; i < 8; ++i) state[i] += v[i];
}

}  // namespace

KORVA_TARGET_AVX512VL_BMI2
void Sha512CompressVector(std::span<uint64_t, 8> state, ByteView blocks) {
    constexpr size_t kBlock = Rounds::kBlockSize;
    for (size_t offset = 0; offset + kBlock <= blocks.size(); offset += 2 * kBlock) {  // whole blocks only
        const ByteView first = blocks.subspan(offset, kBlock);
        const bool pair = blocks.size() - offset >= 2 * kBlock;
        // A last odd block fills both lanes; the second lane's rounds are skipped.
        const ByteView second = pair ? blocks.subspan(offset + kBlock, kBlock) : first;
        __m256i x[8];
        for (size_t q = 0; q < 8; ++q) x[q] = LoadWords(first, second, q);
        alignas(32) PairsWithConstants wk;
        StoreWithConstants(x, 0, wk);
        RunRounds<0, true>(state, wk, x);
        if (pair) RunRounds<1, false>(state, wk, x);
    }
}

}  // namespace korva::crypto::detail

#endif  // KORVA_CRYPTO_HAVE_SHA_EXTENSIONS
