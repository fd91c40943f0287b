// The column sums behind every big-number multiplication: the assembly loop
// (where built) and the portable loop against a plain three-limb sum, for
// every length the unrolling splits differently and for the values that
// carry the most.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "toolkit/crypto/ColumnSums.h"

namespace korva::crypto::test {
namespace {

using detail::Accumulator;
using detail::Limb;

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

}  // namespace
}  // namespace korva::crypto::test
