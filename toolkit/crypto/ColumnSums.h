// Sums of limb products x[0] * y[0] + ... + x[count-1] * y[count-1] into a
// column accumulator: the inner loop of all big-number multiplication.
// On x86-64 with GCC or clang an unrolled assembly loop does the work (one
// load, one multiply and three additions a product, hardly any loop
// bookkeeping); the portable loop is what every other compiler builds, and what
// the tests check the assembly against.
#pragma once

#include <cstddef>
#include <span>

#include "toolkit/crypto/BigNum.h"
#include "toolkit/crypto/WideMultiply.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KORVA_CRYPTO_ASSEMBLY_COLUMNS 1
#else
#define KORVA_CRYPTO_ASSEMBLY_COLUMNS 0
#endif

namespace korva::crypto::detail {

// x and y of the same length.
inline void AddProductsPortable(Accumulator& column, std::span<const Limb> x, std::span<const Limb> y) {
    for (size_t j = 0; j < x.size(); ++j) column.AddProduct(x[j], y[j]);
}

#if KORVA_CRYPTO_ASSEMBLY_COLUMNS
// One product of the column: x[i + offset] * y[i + offset] added into c2:c1:c0.
#define KORVA_COLUMN_PRODUCT(x, y, offset)        \
    "movq " #offset "(%[" #x "],%[i],8), %%rax\n\t" \
    "mulq " #offset "(%[" #y "],%[i],8)\n\t"       \
    "addq %%rax, %[c0]\n\t"                        \
    "adcq %%rdx, %[c1]\n\t"                        \
    "adcq $0, %[c2]\n\t"
#endif

inline void AddProducts(Accumulator& column, std::span<const Limb> x, std::span<const Limb> y) {
#if KORVA_CRYPTO_ASSEMBLY_COLUMNS
    if (x.empty()) return;
    // The index counts up from minus the length to zero, addressing back
    // from the ends: one odd product, then an odd pair, then four a turn.
    auto index = -static_cast<ptrdiff_t>(x.size());
    __asm__(
        "testq $1, %[i]\n\t"
        "jz 1f\n\t"
        KORVA_COLUMN_PRODUCT(x, y, 0)
        "addq $1, %[i]\n\t"
        "1:\n\t"
        "testq $2, %[i]\n\t"
        "jz 2f\n\t"
        KORVA_COLUMN_PRODUCT(x, y, 0)
        KORVA_COLUMN_PRODUCT(x, y, 8)
        "addq $2, %[i]\n\t"
        "2:\n\t"
        "testq %[i], %[i]\n\t"
        "jz 4f\n\t"
        "3:\n\t"
        KORVA_COLUMN_PRODUCT(x, y, 0)
        KORVA_COLUMN_PRODUCT(x, y, 8)
        KORVA_COLUMN_PRODUCT(x, y, 16)
        KORVA_COLUMN_PRODUCT(x, y, 24)
        "addq $4, %[i]\n\t"
        "jnz 3b\n\t"
        "4:\n\t"
        : [c0] "+r"(column.low), [c1] "+r"(column.middle), [c2] "+r"(column.high), [i] "+r"(index)
        : [x] "r"(x.data() + x.size()), [y] "r"(y.data() + y.size())
        : "rax", "rdx", "cc", "memory");
#else
    AddProductsPortable(column, x, y);
#endif
}

}  // namespace korva::crypto::detail
