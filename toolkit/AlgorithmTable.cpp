#include "toolkit/AlgorithmTable.h"

#include <cstring>

#include "platform/ByteReader.h"

namespace korva::toolkit {

namespace {

using platform::ByteReader;
using platform::DerError;
using platform::DerHeader;
using platform::DerRules;

struct AlgorithmRow {
    uint32_t number;
    uint8_t oidLength;
    uint8_t oid[12];
};

// Prefixes: NIST algorithms 2.16.840.1.101.3.4, RSADSI 1.2.840.113549, OIW 1.3.14.3.2.
#define KORVA_NIST(group, last) 9, { 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, group, last }
#define KORVA_RSADSI(a, b) 8, { 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, a, b }
#define KORVA_PKCS(a, b) 9, { 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, a, b }
#define KORVA_OIW(last) 5, { 0x2B, 0x0E, 0x03, 0x02, last }

constexpr AlgorithmRow kRows[] = {
    {1, KORVA_NIST(0x01, 0x02)},   {2, KORVA_NIST(0x01, 0x16)},  {3, KORVA_NIST(0x01, 0x2A)},  // AES CBC
    {4, KORVA_NIST(0x01, 0x01)},   {5, KORVA_NIST(0x01, 0x15)},  {6, KORVA_NIST(0x01, 0x29)},  // AES ECB
    {7, KORVA_NIST(0x01, 0x04)},   {8, KORVA_NIST(0x01, 0x18)},  {9, KORVA_NIST(0x01, 0x2C)},  // AES CFB
    {10, KORVA_OIW(0x07)},                                                                     // desCBC
    {11, KORVA_RSADSI(0x03, 0x07)},                                                            // des-ede3-cbc
    {12, KORVA_RSADSI(0x03, 0x06)},
    {13, KORVA_PKCS(0x03, 0x01)},                                                              // dhKeyAgreement
    {14, KORVA_OIW(0x1B)},         {14, 7, {0x2A, 0x86, 0x48, 0xCE, 0x38, 0x04, 0x03}},         // dsaWithSHA1
    {15, KORVA_RSADSI(0x02, 0x02)},                                                            // md2
    {16, KORVA_PKCS(0x05, 0x01)},  {17, KORVA_PKCS(0x05, 0x04)},                               // pbeWithMD2And*
    {18, KORVA_PKCS(0x01, 0x02)},                                                              // md2WithRSAEncryption
    {19, KORVA_RSADSI(0x02, 0x05)},                                                            // md5
    {20, KORVA_PKCS(0x05, 0x03)},  {21, KORVA_PKCS(0x05, 0x06)},                               // pbeWithMD5And*
    {22, KORVA_PKCS(0x01, 0x04)},                                                              // md5WithRSAEncryption
    {23, KORVA_PKCS(0x05, 0x09)},
    {43, KORVA_PKCS(0x05, 0x0D)},  {44, KORVA_PKCS(0x05, 0x0E)},                               // PBES2, PBMAC1
    {24, KORVA_PKCS(0x01, 0x07)},  {27, KORVA_PKCS(0x01, 0x07)},                               // RSAES-OAEP
    {28, KORVA_PKCS(0x01, 0x07)},  {47, KORVA_PKCS(0x01, 0x07)},
    {25, KORVA_PKCS(0x01, 0x08)},  {26, KORVA_PKCS(0x01, 0x09)},                               // MGF1, pSpecified
    {29, KORVA_PKCS(0x01, 0x01)},  {41, KORVA_PKCS(0x01, 0x01)},  {42, KORVA_PKCS(0x01, 0x01)},  // rsaEncryption
    {30, KORVA_RSADSI(0x03, 0x02)}, {31, KORVA_RSADSI(0x03, 0x04)},                            // rc2CBC, rc4
    {32, KORVA_RSADSI(0x03, 0x05)}, {33, KORVA_RSADSI(0x03, 0x09)},                            // -, rc5-CBC-Pad
    {45, 8, {0x2B, 0x06, 0x01, 0x05, 0x05, 0x08, 0x01, 0x02}},                                 // hmac-sha1
    {56, KORVA_RSADSI(0x02, 0x07)}, {57, KORVA_RSADSI(0x02, 0x08)},                            // hmacWithSHA1/224
    {58, KORVA_RSADSI(0x02, 0x09)}, {59, KORVA_RSADSI(0x02, 0x0A)},                            // hmacWithSHA256/384
    {60, KORVA_RSADSI(0x02, 0x0B)},                                                            // hmacWithSHA512
    {34, KORVA_OIW(0x1A)},                                                                     // sha1
    {54, KORVA_NIST(0x02, 0x04)},  {51, KORVA_NIST(0x02, 0x01)},                               // sha224, sha256
    {52, KORVA_NIST(0x02, 0x02)},  {53, KORVA_NIST(0x02, 0x03)},                               // sha384, sha512
    {35, KORVA_PKCS(0x05, 0x0A)},                                                              // pbeWithSHA1AndDES-CBC
    {36, KORVA_PKCS(0x01, 0x05)},  {55, KORVA_PKCS(0x01, 0x0E)},                               // sha1/sha224 WithRSA
    {48, KORVA_PKCS(0x01, 0x0B)},  {49, KORVA_PKCS(0x01, 0x0C)},  {50, KORVA_PKCS(0x01, 0x0D)},  // sha2 WithRSA
    {46, KORVA_PKCS(0x01, 0x0A)},                                                              // RSASSA-PSS
    {37, KORVA_OIW(0x0C)},         {39, KORVA_OIW(0x0C)},                                       // dsa (OIW)
    {38, 7, {0x2A, 0x86, 0x48, 0xCE, 0x38, 0x04, 0x01}},                                       // dsa
    {40, 7, {0x2A, 0x86, 0x48, 0xCE, 0x38, 0x04, 0x01}},
    {0, 0, {}},
};

#undef KORVA_NIST
#undef KORVA_RSADSI
#undef KORVA_PKCS
#undef KORVA_OIW

constexpr uint8_t kOid = 0x06;
constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kSet = 0x31;

}  // namespace

Status AlgorithmTableFind(const uint8_t* oid, uint32_t oidLength, uint32_t* number) {
    if (number == nullptr) return kCoreInputMissing;
    for (const AlgorithmRow* row = kRows; row->number != 0; ++row) {
        if (row->oidLength == oidLength && std::memcmp(row->oid, oid, oidLength) == 0) {
            *number = row->number;
            return kOk;
        }
    }
    return kCoreLookupUnknownOid;
}

Status AlgorithmTableLookup(const uint8_t* der, uint32_t derLength, uint32_t* number) {
    ByteReader reader(der, derLength);
    for (;;) {
        DerHeader header;
        DerError error = reader.ReadDerHeader(header, DerRules::kBer);
        if (error == DerError::kTruncated && reader.AtEnd()) return kCoreLookupNoOid;
        if (error != DerError::kNone || header.length > reader.Remaining()) return kCoreLookupBadLength;
        if (header.identifier == kSequence || header.identifier == kSet) continue;
        if (header.identifier != kOid) return kCoreLookupNoOid;
        platform::ByteSpan oid;
        if (!reader.ReadBytes(header.length, oid)) return kCoreLookupBadLength;
        return AlgorithmTableFind(oid.data(), static_cast<uint32_t>(oid.size()), number);
    }
}

}  // namespace korva::toolkit
