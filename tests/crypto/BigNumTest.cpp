// The big-number core without an outside oracle: the portable wide multiply
// against the native one, both column-sum loops against a plain sum, and
// number-theoretic identities that any carry or reduction slip breaks.
#include <gtest/gtest.h>

#include "tests/crypto/TestSupport.h"
#include "toolkit/crypto/ColumnSums.h"
#include "toolkit/crypto/Montgomery.h"
#include "toolkit/crypto/WideMultiply.h"

namespace korva::crypto::test {
namespace {

using detail::Accumulator;
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

// The column sums: the assembly loop (where built) and the portable loop
// against a plain three-limb sum, for every length the unrolling splits
// differently and for the values that carry the most.
Accumulator Reference(Accumulator column, const std::vector<Limb>& x, const std::vector<Limb>& y) {
    for (size_t j = 0; j < x.size(); ++j) {
        const detail::WideProduct p = detail::MultiplyWidePortable(x[j], y[j]);
        const Limb low = column.low + p.low;
        const Limb carryLow = low < p.low;
        const Limb addend = p.high + carryLow;  // a product's high limb is at most 2^64 - 2
        const Limb middle = column.middle + addend;
        column = {low, middle, column.high + (middle < addend)};
    }
    return column;
}

struct Case {
    const char* name;
    Limb (*limb)(std::mt19937_64& rng, size_t j);
    Accumulator start;
};

const Case kCases[] = {
    {"all ones from zero", [](std::mt19937_64&, size_t) { return ~Limb{0}; }, {}},
    {"all ones onto a full low and middle", [](std::mt19937_64&, size_t) { return ~Limb{0}; }, {~Limb{0}, ~Limb{0}, 5}},
    {"random onto a random start", [](std::mt19937_64& rng, size_t) { return Limb{rng()}; }, {0x0123456789abcdef, 0xfedcba9876543210, 1}},
    {"top bits only", [](std::mt19937_64&, size_t) { return Limb{1} << 63; }, {1, ~Limb{0}, 0}},
    {"ones and zeros alternating", [](std::mt19937_64&, size_t j) { return j % 2 ? ~Limb{0} : Limb{0}; }, {}},
};

TEST(ColumnSums, BothLoopsMatchAPlainSumForEveryLength) {
    std::mt19937_64 rng(17);
    for (const Case& c : kCases) {
        for (size_t count = 0; count <= 70; ++count) {
            std::vector<Limb> x(count), y(count);
            for (size_t j = 0; j < count; ++j) {
                x[j] = c.limb(rng, j);
                y[j] = c.limb(rng, j + 1);
            }
            const Accumulator expected = Reference(c.start, x, y);
            Accumulator fast = c.start, portable = c.start;
            detail::AddProducts(fast, x, y);
            detail::AddProductsPortable(portable, x, y);
            for (const Accumulator* got : {&fast, &portable}) {
                const char* which = got == &fast ? "AddProducts" : "AddProductsPortable";
                ASSERT_EQ(got->low, expected.low) << c.name << ", " << count << " products, " << which;
                ASSERT_EQ(got->middle, expected.middle) << c.name << ", " << count << " products, " << which;
                ASSERT_EQ(got->high, expected.high) << c.name << ", " << count << " products, " << which;
            }
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

// 2^p - 1 as octets; the Mersenne primes give moduli of 9 to 51 limbs,
// including ones that are not a whole number of limbs.
Bytes Mersenne(int p) {
    Bytes prime((p + 7) / 8, 0xff);
    if (p % 8 != 0) prime[0] = static_cast<uint8_t>((1u << (p % 8)) - 1);
    return prime;
}

// Octets as limbs of the modulus's length.
Limbs LimbsOf(const detail::MontgomeryModulus& modulus, const Bytes& bytes) {
    Limbs limbs{};
    EXPECT_TRUE(detail::LimbsFromBytes(bytes, std::span(limbs).first(modulus.limbCount())));
    return limbs;
}

Limbs Power(const detail::MontgomeryModulus& modulus, const Limbs& base, const Limbs& exponent) {
    const size_t k = modulus.limbCount();
    Limbs out{};
    modulus.Power(std::span(out).first(k), std::span(base).first(k), std::span(exponent).first(k));
    return out;
}

// Fermat: a^(p-1) = 1 and a^p = a modulo a prime p.
TEST(BigNum, MontgomeryPowerSatisfiesFermatModuloMersennePrimes) {
    std::mt19937_64 rng(5);
    for (int p : {521, 607, 1279, 2203, 3217}) {
        const Bytes prime = Mersenne(p);
        detail::MontgomeryModulus modulus;
        ASSERT_TRUE(modulus.Init(prime));
        Bytes pMinusOne = prime;
        pMinusOne.back() = 0xfe;
        // One random base per prime: a carry slip breaks the identity for
        // almost every base, and each power costs seconds in a Debug build.
        const Limbs a = LimbsOf(modulus, RandomBytes(rng, prime.size() - 1));
        Limbs one{};
        one[0] = 1;
        ASSERT_EQ(Power(modulus, a, LimbsOf(modulus, pMinusOne)), one) << "p = 2^" << p << " - 1";
        ASSERT_EQ(Power(modulus, a, LimbsOf(modulus, prime)), a) << "p = 2^" << p << " - 1";
    }
}

// The shortest exponents take the power's edge paths (no loop, an even last
// bit, the bare base); Fermat gives each a long twin with the same value:
// a^(p + j - 1) = a^j modulo a prime p.
TEST(BigNum, ShortExponentsMatchTheirFermatTwins) {
    std::mt19937_64 rng(7);
    for (int p : {521, 607}) {
        const Bytes prime = Mersenne(p);
        detail::MontgomeryModulus modulus;
        ASSERT_TRUE(modulus.Init(prime));
        const Limbs a = LimbsOf(modulus, RandomBytes(rng, prime.size() - 1));
        for (uint64_t j : {1u, 2u, 3u, 4u, 5u}) {
            Limbs shortExponent{};
            shortExponent[0] = j;
            Limbs longExponent = LimbsOf(modulus, prime);
            Limb carry = j - 1;
            for (size_t i = 0; i < modulus.limbCount() && carry != 0; ++i) {
                longExponent[i] += carry;
                carry = longExponent[i] < carry;
            }
            ASSERT_EQ(Power(modulus, a, shortExponent), Power(modulus, a, longExponent))
                << "p = 2^" << p << " - 1, exponent " << j;
        }
    }
}

}  // namespace
}  // namespace korva::crypto::test
