// RSA public-key operation and PKCS #1 v1.5 signature checking (RFC 8017,
// sections 5.2.2, 8.2.2 and 9.2) for moduli of 512 to 4096 bits and public
// exponents of up to 64 bits. Nothing here allocates or throws.
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolkit/crypto/Bytes.h"
#include "toolkit/crypto/Hash.h"
#include "toolkit/crypto/Montgomery.h"

namespace korva::crypto {

constexpr size_t kMinModulusBits = 512;
constexpr size_t kMaxModulusBits = 4096;
constexpr size_t kMaxModulusLength = kMaxModulusBits / 8;
// No real signer uses a longer public exponent, and a hostile key with one
// as long as its modulus would make every verification hundreds of times
// slower.
constexpr size_t kMaxExponentBits = 64;

enum class RsaStatus : uint8_t {
    Ok,
    KeyNotSet,                // the key object holds no valid key
    ModulusSizeUnsupported,   // not 512 to 4096 bits
    ModulusEven,
    ExponentInvalid,          // not odd, below 3, longer than 64 bits, or not below the modulus
    SignatureLengthMismatch,  // signature octets differ from the modulus length
    SignatureOutOfRange,      // signature value not below the modulus
    PaddingInvalid,           // not 00 01, eight or more FF, 00
    DigestInfoMismatch,       // what follows the padding is not the expected DigestInfo
    BufferTooSmall,
};

class RsaPublicKey {
public:
    // Big-endian integers; leading zero octets (as in DER INTEGERs) are
    // ignored. On failure the key is left unset.
    RsaStatus Init(ByteView modulus, ByteView exponent);

    bool valid() const { return modulusLength_ != 0; }
    // Octets of the modulus without leading zeros: the length every
    // signature and every encoded block has.
    size_t modulusLength() const { return modulusLength_; }
    size_t modulusBits() const;

    // The RSA verification primitive: signature^e mod n, written as exactly
    // modulusLength() octets to the front of `block`. The signature must have
    // exactly modulusLength() octets and be below the modulus.
    RsaStatus PublicOperation(ByteView signature, MutableByteView block) const;

private:
    detail::MontgomeryModulus modulus_;
    detail::Limbs exponent_{};
    size_t modulusLength_ = 0;
};

// The strict EMSA-PKCS1-v1_5 block-type-1 check: the block must be
// 00 01, at least eight FF octets, 00, and something after it. On success
// `payload` views the octets after the 00 inside `block` (the DigestInfo in
// a signature); its contents are not examined here.
RsaStatus Pkcs1Type1Unpad(ByteView block, ByteView& payload);

// DER of DigestInfo up to the digest octets: the hash AlgorithmIdentifier
// with its NULL parameters, and the OCTET STRING header.
ByteView DigestInfoPrefix(HashAlgorithm algorithm);

// Public operation and unpadding: copies the octets after the padding to the
// front of `out` and sets `payloadLength`.
RsaStatus RsaRecoverPayload(const RsaPublicKey& key, ByteView signature, MutableByteView out, size_t& payloadLength);

// Full PKCS #1 v1.5 signature check of an already computed digest: the
// payload must be exactly DigestInfoPrefix(algorithm) followed by `digest`.
// Only that canonical encoding is accepted; a DigestInfo whose
// AlgorithmIdentifier lacks the NULL parameters is refused.
RsaStatus RsaVerifyPkcs1(const RsaPublicKey& key, HashAlgorithm algorithm, ByteView digest, ByteView signature);

}  // namespace korva::crypto
