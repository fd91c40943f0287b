// Keeps a function out of its callers: a rarely taken branch that the
// compiler inlines makes the common way pay for the registers it saves.
#pragma once

#if defined(_MSC_VER)
#define KORVA_NO_INLINE __declspec(noinline)
#elif defined(__GNUC__)
#define KORVA_NO_INLINE __attribute__((noinline))
#else
#define KORVA_NO_INLINE
#endif
