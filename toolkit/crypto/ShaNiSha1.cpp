// SHA-1 on the x86 SHA extensions. SHA1RNDS4 runs four rounds on ABCD (A in
// the top lane); SHA1NEXTE derives the next E from the ABCD of four rounds
// earlier; SHA1MSG1/MSG2 extend the message schedule four words at a time.
#include "toolkit/crypto/HashCores.h"

#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS

#include <immintrin.h>

namespace korva::crypto::detail {

namespace {

// Twenty rounds sharing one round function; the function number must be an
// immediate, hence the template.
template <int Function>
KORVA_TARGET_SHA_EXTENSIONS inline void TwentyRounds(__m128i& abcd, __m128i& abcdBefore, __m128i& e, __m128i (&w)[4],
                                                     ByteView block, __m128i byteSwap) {
    for (size_t quad = 5 * Function; quad < 5 * Function + 5; ++quad) {
        __m128i words;
        if (quad < 4) {
            words = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.subspan(16 * quad, 16).data())), byteSwap);
        } else {
            // W[t] = rotl1(W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]), four at a time.
            const __m128i partial = _mm_xor_si128(_mm_sha1msg1_epu32(w[quad % 4], w[(quad + 1) % 4]), w[(quad + 2) % 4]);
            words = _mm_sha1msg2_epu32(partial, w[(quad + 3) % 4]);
        }
        w[quad % 4] = words;
        e = quad == 0 ? _mm_add_epi32(e, words) : _mm_sha1nexte_epu32(abcdBefore, words);
        abcdBefore = abcd;
        abcd = _mm_sha1rnds4_epu32(abcd, e, Function);
    }
}

}  // namespace

KORVA_TARGET_SHA_EXTENSIONS
void Sha1CompressShaExtensions(std::span<uint32_t, 5> state, ByteView blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state.data())), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);

    for (size_t offset = 0; blocks.size() - offset >= 64; offset += 64) {  // whole blocks only
        const ByteView block = blocks.subspan(offset, 64);
        const __m128i abcdSaved = abcd;
        __m128i abcdBefore = abcd;
        __m128i e = e0;
        __m128i w[4];
        TwentyRounds<0>(abcd, abcdBefore, e, w, block, byteSwap);
        TwentyRounds<1>(abcd, abcdBefore, e, w, block, byteSwap);
        TwentyRounds<2>(abcd, abcdBefore, e, w, block, byteSwap);
        TwentyRounds<3>(abcd, abcdBefore, e, w, block, byteSwap);
        e0 = _mm_sha1nexte_epu32(abcdBefore, e0);
        abcd = _mm_add_epi32(abcd, abcdSaved);
    }

    _mm_storeu_si128(reinterpret_cast<__m128i*>(state.data()), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

}  // namespace korva::crypto::detail

#endif
