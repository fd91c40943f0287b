// A SignerInfo as catalogs, countersignatures and time-stamp tokens carry it:
// issuer and serial of the signer, authenticated attributes in DER order,
// an RSA PKCS #1 v1.5 signature over them.
#pragma once

#include <string_view>
#include <vector>

#include "tools/catgen/Der.h"
#include "tools/catgen/Oids.h"
#include "tools/catgen/Pki.h"

namespace korva::catgen {

struct SignerInfoInput {
    const Identity* signer = nullptr;
    Digest digest = Digest::kSha256;
    // None: the signature covers `contentHash` itself.
    std::vector<Bytes> authenticatedAttributes;
    Bytes contentHash;
    bool bareDigest = false;     // sign the digest without its DigestInfo
    bool flipSignature = false;  // damage one bit of the signature
    Bytes namedSerial;           // name this serial instead of the signer's
    std::string_view signatureAlgorithm = oid::kRsaEncryption;
};

// The encryptedDigest octets.
Bytes SignatureOf(const SignerInfoInput& input);
// The SignerInfo; `unauthenticated` is the content of [1] (none when empty
// unless `extraField` needs it), `extraField` appends a NULL behind it.
Bytes AssembleSignerInfo(const SignerInfoInput& input, const Bytes& signature, const Bytes& unauthenticated,
                         bool extraField = false);

}  // namespace korva::catgen
