// Certificate revocation lists (tag 2001), as far as the certificate
// database and path processing use them: the issuer, thisUpdate and the
// list's extensions, decoded from a CertificateList's DER, and its signed parts.
#pragma once

#include <cstdint>

#include "toolkit/Certificate.h"

namespace korva::toolkit {

struct CrlObject : ObjectHeader {
    uint32_t bodyTag;
    ToolkitContext* context;
    uint8_t* encoding;  // private copy of the CertificateList; null until set
    uint32_t encodingLength;
    CertBytes tbsCertList;  // whole elements within `encoding`
    CertBytes signatureAlgorithm;
    CertBytes signature;  // the BIT STRING's content octets
    NameObject* issuer;
    uint32_t thisUpdate;        // seconds since 1970
    ExtensionList* extensions;  // crlExtensions; empty when the list has none
};

bool IsCrl(const void* handle);

// An empty CRL under `context` (may be null).
Status CrlCreate(ToolkitContext* context, CrlObject** outCrl);
void CrlFree(CrlObject** crl);

// Decodes a CertificateList (bytes after it are ignored). 1793 for a
// malformed one; the CRL is left without an encoding on any failure.
Status CrlSetEncoding(CrlObject* crl, const uint8_t* der, uint32_t derLength);

// 0 when the CRL's signature verifies with `key`, 1823 when it does not,
// 1838 when it cannot be checked.
Status CrlVerifySignature(CrlObject* crl, const KeyObject* key);

// Same issuer, same thisUpdate, and every extension of `candidate` present
// in `stored` with the same value.
bool CrlEqual(const CrlObject* candidate, const CrlObject* stored);

}  // namespace korva::toolkit
