// Asks for the cache line at an address that is read soon, so that a loop
// over scattered memory waits for one miss at a time less. Only a hint:
// nothing where the compiler offers none.
#pragma once

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

namespace korva::platform {

inline void Prefetch(const void* address) {
#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    _mm_prefetch(static_cast<const char*>(address), _MM_HINT_T0);
#elif defined(__GNUC__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

}  // namespace korva::platform
