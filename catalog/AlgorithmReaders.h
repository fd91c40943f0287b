// Recognising the AlgorithmIdentifiers of a catalog's signer: by length
// first, then by exact bytes.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver {

// A complete digest AlgorithmIdentifier encoding: 1 with the digest id
// (CCertDigest::CInfo), 4 when the bytes of the length's candidate differ,
// 5 when no algorithm has that length. SHA-384 and SHA-512 are recognised
// only with NULL parameters.
uint32_t ReadDigestAlgorithm(const uint8_t* encoding, uint32_t length, uint32_t& id);

// Signature algorithm ids.
inline constexpr uint32_t kSignatureRsaSha1 = 1;    // rsaEncryption or sha1WithRSAEncryption
inline constexpr uint32_t kSignatureRsaSha256 = 2;  // sha256WithRSAEncryption

// The contents of a digestEncryptionAlgorithm SEQUENCE: exactly the OID
// and a NULL. 1 with the id, 3 for anything else.
uint32_t ReadSignatureAlgorithm(const uint8_t* contents, uint32_t length, uint32_t& id);

}  // namespace TarnVerifyTrustDriver
