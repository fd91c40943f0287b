// Run-time choice of the processor's instruction set extensions for the hashes
// (x86-64 SHA extensions, BMI2, AVX-512).
#pragma once

#if defined(__x86_64__) || defined(_M_X64)
#define KORVA_CRYPTO_HAVE_SHA_EXTENSIONS 1
#else
#define KORVA_CRYPTO_HAVE_SHA_EXTENSIONS 0
#endif

namespace korva::crypto {

// True when this processor has the SHA extensions (with SSSE3 and SSE4.1,
// which the accelerated code also uses).
bool CpuHasShaExtensions();

// True when SHA-1 and SHA-256 run on the SHA extensions: the processor has
// them and the portable code has not been forced (see TestHooks.h).
bool UseShaExtensions();

// True when SHA-512 may use BMI2 (same forcing rule).
bool UseBmi2();

// True when SHA-512 may extend its message schedule with AVX-512 on 256-bit
// registers (with AVX2 and BMI2; same forcing rule).
bool UseAvx512VectorLength();

}  // namespace korva::crypto

// Marks a function that may use the SHA extensions. GCC and clang need the
// instruction sets enabled per function (the rest of the build stays
// baseline x86-64); MSVC allows the intrinsics anywhere.
#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS && (defined(__GNUC__) || defined(__clang__))
#define KORVA_TARGET_SHA_EXTENSIONS __attribute__((target("sha,sse4.1,ssse3")))
#else
#define KORVA_TARGET_SHA_EXTENSIONS
#endif

// Likewise for the SHA-512 vector code.
#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS && (defined(__GNUC__) || defined(__clang__))
#define KORVA_TARGET_AVX512VL_BMI2 __attribute__((target("avx2,avx512f,avx512vl,bmi,bmi2")))
#else
#define KORVA_TARGET_AVX512VL_BMI2
#endif
