// The two DER forms of an RSA public key the key objects accept and give out:
// RSAPublicKey (PKCS #1) and a SubjectPublicKeyInfo for rsaEncryption.
// Only definite, minimal lengths and minimal positive INTEGERs are accepted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korva::toolkit {

using DerBytes = std::span<const uint8_t>;

enum class DerResult { Ok, Malformed, OtherAlgorithm };

// RSAPublicKey ::= SEQUENCE { modulus INTEGER, publicExponent INTEGER };
// the views point at the INTEGERs' content octets.
DerResult ParseRsaPublicKey(DerBytes der, DerBytes& modulus, DerBytes& exponent);

// SubjectPublicKeyInfo with rsaEncryption (NULL or absent parameters);
// `rsaPublicKey` views the RSAPublicKey inside the BIT STRING.
DerResult ParseRsaSpki(DerBytes der, DerBytes& rsaPublicKey);

// Encodes the SubjectPublicKeyInfo of (modulus, exponent), given without
// leading zeros, into `out` and returns its length; with an empty `out` it
// only measures, and into an `out` too small for it, it returns 0.
size_t EncodeRsaSpki(DerBytes modulus, DerBytes exponent, std::span<uint8_t> out);

}  // namespace korva::toolkit
