// 64 x 64 -> 128-bit products for the big-number limbs: the compiler's
// 128-bit integer on GCC and clang, _umul128 on MSVC for x64, and a portable
// four-partial-product form everywhere else (also tested on its own).
#pragma once

#include <cstdint>

#if defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
#include <intrin.h>
#endif

namespace korva::crypto::detail {

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 Uint128;
#endif

struct WideProduct {
    uint64_t low = 0;
    uint64_t high = 0;
};

constexpr WideProduct MultiplyWidePortable(uint64_t a, uint64_t b) {
    const uint64_t aLow = a & 0xffffffff, aHigh = a >> 32;
    const uint64_t bLow = b & 0xffffffff, bHigh = b >> 32;
    const uint64_t lowLow = aLow * bLow;
    const uint64_t lowHigh = aLow * bHigh;
    const uint64_t highLow = aHigh * bLow;
    const uint64_t highHigh = aHigh * bHigh;
    // The middle column gathers three 32-bit quantities; it cannot overflow 64 bits.
    const uint64_t middle = (lowLow >> 32) + (lowHigh & 0xffffffff) + (highLow & 0xffffffff);
    return {(middle << 32) | (lowLow & 0xffffffff), highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32)};
}

inline WideProduct MultiplyWide(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__)
    const Uint128 p = static_cast<Uint128>(a) * b;
    return {static_cast<uint64_t>(p), static_cast<uint64_t>(p >> 64)};
#elif defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
    WideProduct p;
    p.low = _umul128(a, b, &p.high);
    return p;
#else
    return MultiplyWidePortable(a, b);
#endif
}

// Returns a + b + carry and leaves the carry out (0 or 1) in carry.
inline uint64_t AddWithCarry(uint64_t a, uint64_t b, uint64_t& carry) {
    const uint64_t sum = a + b;
    const uint64_t result = sum + carry;
    carry = static_cast<uint64_t>(sum < a) | static_cast<uint64_t>(result < sum);
    return result;
}

// A three-limb column accumulator for product scanning: sums of many
// products of a column fit without a carry chain through memory.
struct Accumulator {
    uint64_t low = 0, middle = 0, high = 0;

    void AddProduct(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__)
        const Uint128 p = static_cast<Uint128>(a) * b;
        const Uint128 sum = ((static_cast<Uint128>(middle) << 64) | low) + p;
        high += sum < p;
        low = static_cast<uint64_t>(sum);
        middle = static_cast<uint64_t>(sum >> 64);
#else
        const WideProduct p = MultiplyWide(a, b);
        uint64_t carry = 0;
        low = AddWithCarry(low, p.low, carry);
        middle = AddWithCarry(middle, p.high, carry);
        high += carry;
#endif
    }
    void Add(const Accumulator& other) {
#if defined(__SIZEOF_INT128__)
        const Uint128 addend = (static_cast<Uint128>(other.middle) << 64) | other.low;
        const Uint128 sum = ((static_cast<Uint128>(middle) << 64) | low) + addend;
        high += other.high + (sum < addend);
        low = static_cast<uint64_t>(sum);
        middle = static_cast<uint64_t>(sum >> 64);
#else
        uint64_t carry = 0;
        low = AddWithCarry(low, other.low, carry);
        middle = AddWithCarry(middle, other.middle, carry);
        high += other.high + carry;
#endif
    }
    // Hands out the finished low limb and moves down one limb.
    uint64_t Shift() {
        const uint64_t out = low;
        low = middle;
        middle = high;
        high = 0;
        return out;
    }
};

}  // namespace korva::crypto::detail
