// SHA-256 on the x86 SHA extensions. SHA256RNDS2 keeps the working variables
// as two registers, ABEF and CDGH, and runs two rounds per instruction;
// SHA256MSG1/MSG2 extend the message schedule four words at a time.
#include "toolkit/crypto/HashCores.h"

#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS

#include <immintrin.h>

namespace korva::crypto::detail {

KORVA_TARGET_SHA_EXTENSIONS
void Sha256CompressShaExtensions(std::span<uint32_t, 8> state, ByteView blocks) {
    const __m128i byteSwapWords = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);

    // DCBA, HGFE as stored -> ABEF, CDGH as the instructions want them.
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state.data()));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state.subspan(4).data()));
    __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (size_t offset = 0; blocks.size() - offset >= 64; offset += 64) {  // whole blocks only
        const ByteView block = blocks.subspan(offset, 64);
        const __m128i abefSaved = abef;
        const __m128i cdghSaved = cdgh;
        __m128i w[4];  // ring of the last sixteen schedule words, four per register
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC unroll 16
#endif
        for (size_t quad = 0; quad < 16; ++quad) {
            __m128i words;
            if (quad < 4) {
                words = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.subspan(16 * quad, 16).data())), byteSwapWords);
            } else {
                // W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], four at a time.
                __m128i partial = _mm_sha256msg1_epu32(w[quad % 4], w[(quad + 1) % 4]);
                partial = _mm_add_epi32(partial, _mm_alignr_epi8(w[(quad + 3) % 4], w[(quad + 2) % 4], 4));
                words = _mm_sha256msg2_epu32(partial, w[(quad + 3) % 4]);
            }
            w[quad % 4] = words;
            const __m128i kw = _mm_add_epi32(
                words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kSha256RoundConstants[4 * quad])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, kw);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(kw, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefSaved);
        cdgh = _mm_add_epi32(cdgh, cdghSaved);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state.data()), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state.subspan(4).data()), hgfe);
}

}  // namespace korva::crypto::detail

#endif
