// The big-number core without an outside oracle: the portable wide multiply
// against the native one, and number-theoretic identities that any carry or
// reduction slip breaks.
#include <gtest/gtest.h>

#include "tests/crypto/TestSupport.h"
#include "toolkit/crypto/Montgomery.h"
#include "toolkit/crypto/WideMultiply.h"

namespace korva::crypto::test {
namespace {

using detail::Limb;
using detail::Limbs;

TEST(BigNum, PortableWideMultiplyMatchesTheNativeOne) {
    std::mt19937_64 rng(3);
    std::vector<uint64_t> values = {0, 1, 2, 0xffffffff, 0x100000000, 0xffffffffffffffff, 0xfffffffffffffffe,
                                    0x8000000000000000, 0x7fffffffffffffff, 0x00000000ffffffff};
    for (int i = 0; i < 200; ++i) values.push_back(rng());
    for (uint64_t a : values) {
        for (uint64_t b : values) {
            const detail::WideProduct portable = detail::MultiplyWidePortable(a, b);
            const detail::WideProduct native = detail::MultiplyWide(a, b);
            ASSERT_EQ(portable.low, native.low) << a << " * " << b;
            ASSERT_EQ(portable.high, native.high) << a << " * " << b;
        }
    }
}

TEST(BigNum, BytesRoundTripThroughLimbsAndRefuseWhatDoesNotFit) {
    std::mt19937_64 rng(4);
    for (size_t length : {1u, 7u, 8u, 9u, 63u, 64u, 65u, 255u, 512u}) {
        Bytes value = RandomBytes(rng, length);
        value[0] |= 1;  // keep the top octet significant
        Limbs limbs{};
        ASSERT_TRUE(detail::LimbsFromBytes(value, limbs));
        Bytes back(length);
        ASSERT_TRUE(detail::LimbsToBytes(limbs, back));
        EXPECT_EQ(back, value);
        Bytes tooShort(length - 1);
        EXPECT_FALSE(detail::LimbsToBytes(limbs, tooShort));
    }
    Bytes tooLong(513, 0x01);
    Limbs limbs{};
    EXPECT_FALSE(detail::LimbsFromBytes(tooLong, limbs));
    tooLong[0] = 0;  // a leading zero does not count
    EXPECT_TRUE(detail::LimbsFromBytes(tooLong, limbs));
}

// Fermat: a^(p-1) = 1 and a^p = a modulo a prime p. The Mersenne primes give
// moduli of 9 to 51 limbs, including ones that are not a whole number of limbs.
TEST(BigNum, MontgomeryPowerSatisfiesFermatModuloMersennePrimes) {
    std::mt19937_64 rng(5);
    for (int p : {521, 607, 1279, 2203, 3217}) {
        Bytes prime((p + 7) / 8, 0xff);
        if (p % 8 != 0) prime[0] = static_cast<uint8_t>((1u << (p % 8)) - 1);
        detail::MontgomeryModulus modulus;
        ASSERT_TRUE(modulus.Init(prime));
        const size_t k = modulus.limbCount();

        Bytes pMinusOne = prime;
        pMinusOne.back() = 0xfe;
        Limbs exponentP{}, exponentPMinusOne{};
        ASSERT_TRUE(detail::LimbsFromBytes(prime, std::span(exponentP).first(k)));
        ASSERT_TRUE(detail::LimbsFromBytes(pMinusOne, std::span(exponentPMinusOne).first(k)));

        // One random base per prime: a carry slip breaks the identity for
        // almost every base, and each power costs seconds in a Debug build.
        Bytes base = RandomBytes(rng, prime.size() - 1);
        Limbs a{}, result{};
        ASSERT_TRUE(detail::LimbsFromBytes(base, std::span(a).first(k)));
        modulus.Power(std::span(result).first(k), std::span(a).first(k), std::span(exponentPMinusOne).first(k));
        Limbs one{};
        one[0] = 1;
        ASSERT_EQ(result, one) << "p = 2^" << p << " - 1";
        modulus.Power(std::span(result).first(k), std::span(a).first(k), std::span(exponentP).first(k));
        ASSERT_EQ(result, a) << "p = 2^" << p << " - 1";
    }
}

// The shortest exponents take the power's edge paths (no loop, an even last
// bit, the bare base); Fermat gives each a long twin with the same value:
// a^(p + j - 1) = a^j modulo a prime p.
TEST(BigNum, ShortExponentsMatchTheirFermatTwins) {
    std::mt19937_64 rng(7);
    for (int p : {521, 607}) {
        Bytes prime((p + 7) / 8, 0xff);
        prime[0] = static_cast<uint8_t>((1u << (p % 8)) - 1);
        detail::MontgomeryModulus modulus;
        ASSERT_TRUE(modulus.Init(prime));
        const size_t k = modulus.limbCount();
        Limbs a{};
        ASSERT_TRUE(detail::LimbsFromBytes(RandomBytes(rng, prime.size() - 1), std::span(a).first(k)));
        for (uint64_t j : {1u, 2u, 3u, 4u, 5u}) {
            Limbs shortExponent{}, longExponent{};
            shortExponent[0] = j;
            ASSERT_TRUE(detail::LimbsFromBytes(prime, std::span(longExponent).first(k)));
            Limb carry = j - 1;
            for (size_t i = 0; i < k && carry != 0; ++i) {
                longExponent[i] += carry;
                carry = longExponent[i] < carry;
            }
            Limbs viaShort{}, viaLong{};
            modulus.Power(std::span(viaShort).first(k), std::span(a).first(k), std::span(shortExponent).first(k));
            modulus.Power(std::span(viaLong).first(k), std::span(a).first(k), std::span(longExponent).first(k));
            ASSERT_EQ(viaShort, viaLong) << "p = 2^" << p << " - 1, exponent " << j;
        }
    }
}

}  // namespace
}  // namespace korva::crypto::test
