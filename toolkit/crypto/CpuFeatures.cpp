#include "toolkit/crypto/CpuFeatures.h"

#include <atomic>
#include <cstdint>

#include "toolkit/crypto/TestHooks.h"

#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#else
#include <cpuid.h>
#include <immintrin.h>
#endif
#endif

namespace korva::crypto {

namespace {

std::atomic<bool> portableForced{false};

#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS
struct CpuidRegisters {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

CpuidRegisters Cpuid(unsigned leaf, unsigned subleaf) {
    CpuidRegisters r;
#if defined(_MSC_VER) && !defined(__clang__)
    int out[4] = {};
    __cpuidex(out, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {static_cast<unsigned>(out[0]), static_cast<unsigned>(out[1]), static_cast<unsigned>(out[2]),
         static_cast<unsigned>(out[3])};
#else
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
}

bool DetectBmi2() { return Cpuid(0, 0).eax >= 7 && ((Cpuid(7, 0).ebx >> 8) & 1); }

#if defined(_MSC_VER) && !defined(__clang__)
uint64_t ReadXcr0() { return _xgetbv(0); }
#else
__attribute__((target("xsave"))) uint64_t ReadXcr0() { return _xgetbv(0); }
#endif

// AVX-512F and VL on 256-bit registers, AVX2 and BMI2, with the operating
// system saving the AVX and AVX-512 register state (XCR0 bits 1, 2, 5-7).
bool DetectAvx512VectorLength() {
    if (Cpuid(0, 0).eax < 7) return false;
    const bool osSavesState = (Cpuid(1, 0).ecx >> 27) & 1;
    if (!osSavesState || (ReadXcr0() & 0xe6) != 0xe6) return false;
    const unsigned features = Cpuid(7, 0).ebx;
    const bool avx2 = (features >> 5) & 1, bmi2 = (features >> 8) & 1;
    const bool avx512f = (features >> 16) & 1, avx512vl = (features >> 31) & 1;
    return avx2 && bmi2 && avx512f && avx512vl;
}

bool DetectShaExtensions() {
    if (Cpuid(0, 0).eax < 7) return false;
    const CpuidRegisters basic = Cpuid(1, 0);
    const bool ssse3 = (basic.ecx >> 9) & 1;
    const bool sse41 = (basic.ecx >> 19) & 1;
    const bool sha = (Cpuid(7, 0).ebx >> 29) & 1;
    return ssse3 && sse41 && sha;
}
#endif

}  // namespace

bool CpuHasShaExtensions() {
#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS
    static const bool present = DetectShaExtensions();
    return present;
#else
    return false;
#endif
}

bool UseShaExtensions() { return CpuHasShaExtensions() && !portableForced.load(std::memory_order_relaxed); }

#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS
bool UseBmi2() {
    static const bool present = DetectBmi2();
    return present && !portableForced.load(std::memory_order_relaxed);
}

bool UseAvx512VectorLength() {
    static const bool present = DetectAvx512VectorLength();
    return present && !portableForced.load(std::memory_order_relaxed);
}
#else
bool UseBmi2() { return false; }
bool UseAvx512VectorLength() { return false; }
#endif

namespace testing {

void ForcePortableCode(bool force) { portableForced.store(force, std::memory_order_relaxed); }

}  // namespace testing

}  // namespace korva::crypto
