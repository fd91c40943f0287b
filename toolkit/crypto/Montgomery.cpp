#include "toolkit/crypto/Montgomery.h"

#include <algorithm>
#include <bit>

#include "toolkit/crypto/ColumnSums.h"

namespace korva::crypto::detail {

namespace {

// x = 2x mod n, for x < n.
void DoubleModulo(std::span<Limb> x, std::span<const Limb> n) {
    Limb carry = 0;
    for (Limb& limb : x) {
        const Limb next = limb >> 63;
        limb = (limb << 1) | carry;
        carry = next;
    }
    if (carry != 0 || Compare(x, n) >= 0) Subtract(x, x, n);
}

std::span<const Limb> Reversed(std::span<const Limb> value, Limbs& storage) {
    std::reverse_copy(value.begin(), value.end(), storage.begin());
    return std::span<const Limb>(storage).first(value.size());
}

}  // namespace

bool MontgomeryModulus::Init(ByteView modulus) {
    limbCount_ = 0;
    if (!LimbsFromBytes(modulus, n_)) return false;
    const size_t bits = BitLength(n_);
    if (bits < 2 || (n_[0] & 1) == 0) return false;
    limbCount_ = (bits + kLimbBits - 1) / kLimbBits;

    // Newton's iteration doubles the correct low bits each step; an odd n is
    // its own inverse modulo 8, so five steps reach 64 bits.
    Limb inverse = n_[0];
    for (int i = 0; i < 5; ++i) inverse *= 2 - n_[0] * inverse;
    negativeInverse_ = 0 - inverse;
    std::reverse_copy(n_.begin(), n_.begin() + static_cast<ptrdiff_t>(limbCount_), reversedN_.begin());

    ComputeRSquared();
    return true;
}

// R^2 mod n by doubling up to 2^m * R (m the odd part of the limb count)
// and then squaring in Montgomery form s times, where m * 2^s = 64 * limbCount:
// each squaring of 2^j * R gives 2^(2j) * R. Far cheaper than a division.
void MontgomeryModulus::ComputeRSquared() {
    const size_t k = limbCount_;
    const std::span<Limb> x = std::span(rSquared_).first(k);
    const std::span<const Limb> n = modulus();
    const size_t bits = BitLength(n);
    std::fill(x.begin(), x.end(), Limb{0});
    x[(bits - 1) / kLimbBits] = Limb{1} << ((bits - 1) % kLimbBits);  // 2^(bits-1) < n

    const int trailingZeros = std::countr_zero(k);
    const size_t oddPart = k >> trailingZeros;
    const size_t doublings = k * kLimbBits - (bits - 1) + oddPart;
    for (size_t i = 0; i < doublings; ++i) DoubleModulo(x, n);
    for (int i = 0; i < 6 + trailingZeros; ++i) Square(x, x);
}

// Both operations below are Montgomery multiplication by product scanning
// with the reduction woven in: column i of a * b + m * n is summed in a
// three-limb accumulator, and while i < k the limb m[i] is chosen to make
// that column zero. The upper k columns are then the product / R mod n plus
// at most one n. No double-width intermediate is stored, and a result limb
// is written only once no later column reads the input limb at its place,
// so `out` may alias the inputs. The second factor of each column's
// products runs backwards; a reversed copy of it lets every column be one
// forward sum (see ColumnSums.h).

// out = value - n when value (with its carry limb) is at least n.
void MontgomeryModulus::FinalSubtract(std::span<Limb> out, Limb carry) const {
    if (carry != 0 || Compare(out, modulus()) >= 0) Subtract(out, out, modulus());
}

void MontgomeryModulus::Multiply(std::span<Limb> out, std::span<const Limb> a, std::span<const Limb> b) const {
    const size_t k = limbCount_;
    Limbs mStorage, bStorage;
    const std::span<const Limb> m(mStorage.data(), k);
    const std::span<const Limb> bReversed = Reversed(b.first(k), bStorage);
    const std::span<const Limb> nReversed = std::span(reversedN_).first(k);
    Accumulator column;
    for (size_t i = 0; i < k; ++i) {
        AddProducts(column, a.first(i + 1), bReversed.subspan(k - 1 - i, i + 1));
        AddProducts(column, m.first(i), nReversed.subspan(k - 1 - i, i));
        mStorage[i] = column.low * negativeInverse_;
        column.AddProduct(mStorage[i], n_[0]);
        column.Shift();
    }
    for (size_t i = k; i < 2 * k; ++i) {
        const size_t first = i - k + 1, count = k - first;
        AddProducts(column, a.subspan(first, count), bReversed.first(count));
        AddProducts(column, m.subspan(first, count), nReversed.first(count));
        out[i - k] = column.Shift();
    }
    FinalSubtract(out.first(k), column.low);
}

// Each cross product a[j] * a[i - j] (j < i - j) of a column is summed once
// on its own and added twice, next to the column's square: about half the
// multiplications of Multiply for the product part.
void MontgomeryModulus::Square(std::span<Limb> out, std::span<const Limb> a) const {
    const size_t k = limbCount_;
    Limbs mStorage, aStorage;
    const std::span<const Limb> m(mStorage.data(), k);
    const std::span<const Limb> aReversed = Reversed(a.first(k), aStorage);
    const std::span<const Limb> nReversed = std::span(reversedN_).first(k);
    Accumulator column;
    for (size_t i = 0; i < 2 * k; ++i) {
        const size_t first = i < k ? 0 : i - k + 1;
        const size_t crossCount = (i + 1) / 2 - first;
        Accumulator cross;
        AddProducts(cross, a.subspan(first, crossCount), aReversed.subspan(k - 1 - i + first, crossCount));
        column.Add(cross);
        column.Add(cross);
        if (i % 2 == 0) column.AddProduct(a[i / 2], a[i / 2]);
        if (i < k) {
            AddProducts(column, m.first(i), nReversed.subspan(k - 1 - i, i));
            mStorage[i] = column.low * negativeInverse_;
            column.AddProduct(mStorage[i], n_[0]);
            column.Shift();
        } else {
            AddProducts(column, m.subspan(first, k - first), nReversed.first(k - first));
            out[i - k] = column.Shift();
        }
    }
    FinalSubtract(out.first(k), column.low);
}

// Left-to-right square and multiply. Only public exponents pass through
// here, so the running time may depend on the exponent's bits. The last
// multiplication takes the base in ordinary form, which leaves Montgomery
// form on the way and saves a separate conversion.
void MontgomeryModulus::Power(std::span<Limb> out, std::span<const Limb> base, std::span<const Limb> exponent) const {
    const size_t k = limbCount_;
    const size_t top = BitLength(exponent) - 1;
    if (top == 0) {
        std::copy(base.begin(), base.begin() + static_cast<ptrdiff_t>(k), out.begin());
        return;
    }
    Limbs baseMontgomery;
    const std::span<Limb> b = std::span(baseMontgomery).first(k);
    Multiply(b, base, std::span(rSquared_).first(k));

    Limbs accumulator;
    const std::span<Limb> x = std::span(accumulator).first(k);
    std::copy(b.begin(), b.end(), x.begin());
    for (size_t bit = top; bit-- > 1;) {
        Square(x, x);
        if ((exponent[bit / kLimbBits] >> (bit % kLimbBits)) & 1) Multiply(x, x, b);
    }
    Square(x, x);
    if (exponent[0] & 1) {
        Multiply(out, x, base);
    } else {
        Limbs one{};
        one[0] = 1;
        Multiply(out, x, std::span(one).first(k));
    }
}

}  // namespace korva::crypto::detail
