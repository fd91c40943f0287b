#include <algorithm>

#include "toolkit/crypto/Rsa.h"

namespace korva::crypto {

using detail::BitLength;
using detail::Limb;
using detail::Limbs;

RsaStatus RsaPublicKey::Init(ByteView modulus, ByteView exponent) {
    modulusLength_ = 0;
    const ByteView n = detail::StripLeadingZeros(modulus);
    if (n.size() > kMaxModulusLength) return RsaStatus::ModulusSizeUnsupported;
    Limbs nLimbs{};
    detail::LimbsFromBytes(n, nLimbs);
    const size_t bits = BitLength(nLimbs);
    if (bits < kMinModulusBits || bits > kMaxModulusBits) return RsaStatus::ModulusSizeUnsupported;
    if (!modulus_.Init(n)) return RsaStatus::ModulusEven;

    const size_t k = modulus_.limbCount();
    const std::span<Limb> e = std::span(exponent_).first(k);
    std::fill(exponent_.begin(), exponent_.end(), Limb{0});
    // e = 1 would make every block its own signature; an even e is no RSA key.
    if (!detail::LimbsFromBytes(exponent, e) || (e[0] & 1) == 0 || BitLength(e) < 2 ||
        BitLength(e) > kMaxExponentBits || detail::Compare(e, modulus_.modulus()) >= 0) {
        return RsaStatus::ExponentInvalid;
    }
    modulusLength_ = n.size();
    return RsaStatus::Ok;
}

size_t RsaPublicKey::modulusBits() const { return valid() ? BitLength(modulus_.modulus()) : 0; }

RsaStatus RsaPublicKey::PublicOperation(ByteView signature, MutableByteView block) const {
    if (!valid()) return RsaStatus::KeyNotSet;
    if (signature.size() != modulusLength_) return RsaStatus::SignatureLengthMismatch;
    if (block.size() < modulusLength_) return RsaStatus::BufferTooSmall;

    const size_t k = modulus_.limbCount();
    Limbs s{};
    const std::span<Limb> value = std::span(s).first(k);
    detail::LimbsFromBytes(signature, value);
    if (detail::Compare(value, modulus_.modulus()) >= 0) return RsaStatus::SignatureOutOfRange;

    modulus_.Power(value, value, std::span(exponent_).first(k));
    detail::LimbsToBytes(value, block.first(modulusLength_));
    return RsaStatus::Ok;
}

}  // namespace korva::crypto
