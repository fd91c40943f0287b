// Arithmetic modulo an odd n of up to kMaxLimbs limbs in Montgomery form
// (values held as x * R mod n, R = 2^(64 * limbCount)), so that modular
// multiplication needs no division.
#pragma once

#include "toolkit/crypto/BigNum.h"

namespace korva::crypto::detail {

class MontgomeryModulus {
public:
    // False unless `modulus` is odd, greater than 1 and fits in kMaxLimbs limbs.
    bool Init(ByteView modulus);

    size_t limbCount() const { return limbCount_; }
    std::span<const Limb> modulus() const { return std::span(n_).first(limbCount_); }

    // out = a * b / R mod n, for a, b < n. `out` may alias either input.
    void Multiply(std::span<Limb> out, std::span<const Limb> a, std::span<const Limb> b) const;
    // out = a * a / R mod n, for a < n. `out` may alias `a`.
    void Square(std::span<Limb> out, std::span<const Limb> a) const;
    // out = base^exponent mod n (ordinary, not Montgomery, form), for
    // base < n and exponent > 0, both of limbCount() limbs.
    void Power(std::span<Limb> out, std::span<const Limb> base, std::span<const Limb> exponent) const;

private:
    void FinalSubtract(std::span<Limb> out, Limb carry) const;
    void ComputeRSquared();

    Limbs n_{};
    Limbs reversedN_{};  // n's limbs from the top down
    Limbs rSquared_{};  // R^2 mod n: multiplying by it enters Montgomery form
    size_t limbCount_ = 0;
    Limb negativeInverse_ = 0;  // -n^-1 mod 2^64
};

}  // namespace korva::crypto::detail
