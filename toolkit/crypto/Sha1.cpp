// SHA-1 (FIPS 180-4 section 6.1): the portable compression function and the
// choice between it and the SHA instructions.
#include <array>

#include "toolkit/crypto/CpuFeatures.h"
#include "toolkit/crypto/HashCores.h"

namespace korva::crypto::detail {

namespace {

void CompressOne(std::span<uint32_t, 5> state, FixedBytes<64> block) {
    std::array<uint32_t, 16> w{};  // the schedule, kept as a 16-word ring
    LoadWords<uint32_t, 16>(block, w, LoadBe32);

    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (size_t t = 0; t < 80; ++t) {
        if (t >= 16) w[t & 15] = Rotl32(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
        uint32_t f = 0, k = 0;
        if (t < 20) {
            f = (b & c) | (~b & d), k = 0x5a827999;
        } else if (t < 40) {
            f = b ^ c ^ d, k = 0x6ed9eba1;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d), k = 0x8f1bbcdc;
        } else {
            f = b ^ c ^ d, k = 0xca62c1d6;
        }
        const uint32_t temp = Rotl32(a, 5) + f + e + k + w[t & 15];
        e = d;
        d = c;
        c = Rotl32(b, 30);
        b = a;
        a = temp;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

void Sha1CompressPortable(std::span<uint32_t, 5> state, ByteView blocks) {
    ForEachBlock<64>(blocks, [state](FixedBytes<64> block) { CompressOne(state, block); });
}

void Sha1Compress(std::span<uint32_t, 5> state, ByteView blocks) {
#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS
    if (UseShaExtensions()) return Sha1CompressShaExtensions(state, blocks);
#endif
    Sha1CompressPortable(state, blocks);
}

}  // namespace korva::crypto::detail
