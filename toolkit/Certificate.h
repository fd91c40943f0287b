// X.509 certificates (tag 2000): a private copy of the certificate's DER,
// the positions of its signed parts and the decoded fields.
#pragma once

#include <cstdint>

#include "toolkit/ExtensionList.h"
#include "toolkit/KeyObject.h"
#include "toolkit/Name.h"

namespace korva::toolkit {

struct CertBytes {
    const uint8_t* data;
    uint32_t length;
};

// What CertGetFields hands out. Views and objects belong to the certificate.
struct CertFields {
    uint16_t version;         // 0 = v1, 1 = v2, 2 = v3
    CertBytes serialNumber;   // the INTEGER's content octets as encoded
    uint32_t signatureAlgorithm;  // row of the signature-algorithm table
    NameObject* issuer;
    uint32_t notBefore;       // seconds since 1970
    uint32_t notAfter;        // 0xFFFFFFFF: no end
    NameObject* subject;
    CertBytes subjectPublicKeyInfo;  // the whole element
    CertBytes issuerUniqueID;        // BIT STRING content; empty when absent
    CertBytes subjectUniqueID;
    ExtensionList* extensions;       // null when the certificate has none
};

inline constexpr uint32_t kNotAfterUnbounded = 0xFFFFFFFF;

// CertGetEncoding modes: 1 also checks the name attribute table and refuses
// alternative signature-algorithm OIDs.
inline constexpr uint32_t kCertEncodingLenient = 0;
inline constexpr uint32_t kCertEncodingStrict = 1;

struct CertObject : ObjectHeader {
    uint32_t bodyTag;
    ToolkitContext* context;
    uint8_t* encoding;  // null until an encoding has been set
    uint32_t encodingLength;
    CertBytes tbsCertificate;      // whole elements within `encoding`
    CertBytes signatureAlgorithm;
    CertBytes signature;           // the BIT STRING's content octets
    CertBytes notBeforeTime;       // the two time elements, as encoded
    CertBytes notAfterTime;
    uint8_t* pendingCheck;         // tbsCertificate copy until the canonical check passes
    uint32_t pendingCheckLength;
    CertFields fields;
};

bool IsCertificate(const void* handle);

// `context` may be null, a context or a registry (1854 otherwise).
Status CertCreate(CertObject** cert, void* context);
Status CertAddRef(void* context, CertObject* cert, CertObject** outCert);
void CertFree(CertObject** cert);

// Decodes `der` (bytes after the certificate are ignored); on failure the
// certificate is left without an encoding and the code returned.
Status CertSetEncoding(CertObject* cert, const uint8_t* der, uint32_t derLength);
Status CertGetFields(const CertObject* cert, CertFields* certFields);
// The stored DER; the first call checks that it is canonical (1818 when a
// re-encoding differs) under `mode`.
Status CertGetEncoding(CertObject* cert, uint32_t mode, const uint8_t** certDER, uint32_t* certDERLength);
// 0 when the signature verifies with `key`, 1823 when it does not.
Status CertVerifySignature(CertObject* cert, const KeyObject* key);
// The same check for another structure signed the way certificates are (a
// CRL): its signed element, signature BIT STRING content and signature
// algorithm row, under `context`.
Status SignedDataVerify(ToolkitContext* context, CertBytes tbs, CertBytes signature, uint32_t signatureAlgorithm,
                        const KeyObject* key);

// Same serial number bytes and issuers equal under NameCompare.
bool CertEqual(const CertObject* a, const CertObject* b);

}  // namespace korva::toolkit
