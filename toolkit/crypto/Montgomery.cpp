#include "toolkit/crypto/Montgomery.h"

#include <algorithm>
#include <bit>

#include "toolkit/crypto/WideMultiply.h"

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

// Montgomery reduction of a double-width value t < n * R, column by column
// (product scanning): column i of t + m * n is summed, and while i < k the
// multiplier limb m[i] is chosen to make that column zero. The upper k
// columns are then t / R mod n plus at most one n, which one conditional
// subtraction removes.
void MontgomeryModulus::Reduce(std::span<Limb> out, const DoubleLimbs& t) const {
    const size_t k = limbCount_;
    Limbs m{};
    Limbs upper{};
    Accumulator column;
    for (size_t i = 0; i < k; ++i) {
        column.Add(t[i]);
        for (size_t j = 0; j < i; ++j) column.AddProduct(m[j], n_[i - j]);
        m[i] = column.low * negativeInverse_;
        column.AddProduct(m[i], n_[0]);
        column.Shift();
    }
    for (size_t i = k; i < 2 * k; ++i) {
        column.Add(t[i]);
        for (size_t j = i - k + 1; j < k; ++j) column.AddProduct(m[j], n_[i - j]);
        upper[i - k] = column.Shift();
    }
    const std::span<const Limb> value = std::span<const Limb>(upper).first(k);
    if (column.low != 0 || Compare(value, modulus()) >= 0) {
        Subtract(out, value, modulus());
    } else {
        std::copy(value.begin(), value.end(), out.begin());
    }
}

void MontgomeryModulus::Multiply(std::span<Limb> out, std::span<const Limb> a, std::span<const Limb> b) const {
    const size_t k = limbCount_;
    DoubleLimbs t{};
    for (size_t i = 0; i < k; ++i) {
        Limb carry = 0;
        for (size_t j = 0; j < k; ++j) t[i + j] = MultiplyAdd(a[j], b[i], t[i + j], carry);
        t[i + k] = carry;
    }
    Reduce(out, t);
}

// Squaring computes each cross product a[i] * a[j] (i < j) once, doubles
// their sum and adds the squares: about half the multiplications of Multiply.
void MontgomeryModulus::Square(std::span<Limb> out, std::span<const Limb> a) const {
    const size_t k = limbCount_;
    DoubleLimbs t{};
    for (size_t i = 0; i + 1 < k; ++i) {
        Limb carry = 0;
        for (size_t j = i + 1; j < k; ++j) t[i + j] = MultiplyAdd(a[i], a[j], t[i + j], carry);
        t[i + k] = carry;
    }
    Limb shifted = 0;
    for (size_t i = 0; i < 2 * k; ++i) {
        const Limb top = t[i] >> 63;
        t[i] = (t[i] << 1) | shifted;
        shifted = top;
    }
    Limb carry = 0;
    for (size_t i = 0; i < k; ++i) {
        const WideProduct square = MultiplyWide(a[i], a[i]);
        t[2 * i] = AddWithCarry(t[2 * i], square.low, carry);
        t[2 * i + 1] = AddWithCarry(t[2 * i + 1], square.high, carry);
    }
    Reduce(out, t);
}

// Left-to-right square and multiply. Only public exponents pass through
// here, so the running time may depend on the exponent's bits.
void MontgomeryModulus::Power(std::span<Limb> out, std::span<const Limb> base, std::span<const Limb> exponent) const {
    const size_t k = limbCount_;
    Limbs baseMontgomery{};
    const std::span<Limb> b = std::span(baseMontgomery).first(k);
    Multiply(b, base, std::span(rSquared_).first(k));

    Limbs accumulator{};
    const std::span<Limb> x = std::span(accumulator).first(k);
    std::copy(b.begin(), b.end(), x.begin());
    for (size_t bit = BitLength(exponent) - 1; bit-- > 0;) {
        Square(x, x);
        if ((exponent[bit / kLimbBits] >> (bit % kLimbBits)) & 1) Multiply(x, x, b);
    }

    Limbs one{};
    one[0] = 1;
    Multiply(out, x, std::span(one).first(k));
}

}  // namespace korva::crypto::detail
