// SHA-512 and SHA-384 (FIPS 180-4 section 6.4): one compression function,
// the two differ only in initial value and output length.
#include "toolkit/crypto/CpuFeatures.h"
#include "toolkit/crypto/HashCores.h"
#include "toolkit/crypto/Sha2Core.h"
#include "toolkit/crypto/Sha512Traits.h"

namespace korva::crypto::detail {

#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS && (defined(__GNUC__) || defined(__clang__))
// The same code built with BMI2, whose non-destructive rotate (RORX) spares
// the register copies that dominate the portable rounds.
__attribute__((target("bmi2"))) void Sha512CompressBmi2(std::span<uint64_t, 8> state, ByteView blocks) {
    Sha2<Sha512Traits>::Compress(state, blocks);
}
#endif

void Sha512Compress(std::span<uint64_t, 8> state, ByteView blocks) {
#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS
    if (UseAvx512VectorLength()) return Sha512CompressVector(state, blocks);
#endif
#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS && (defined(__GNUC__) || defined(__clang__))
    if (UseBmi2()) return Sha512CompressBmi2(state, blocks);
#endif
    Sha2<Sha512Traits>::Compress(state, blocks);
}

}  // namespace korva::crypto::detail
