#include "toolkit/SignatureAlgorithms.h"

#include <cstring>

#include "toolkit/AlgorithmObject.h"

namespace korva::toolkit {

namespace {

using K = SignatureKeyKind;

// PKCS #1 OIDs share the prefix 1.2.840.113549.1.1; OIW's is 1.3.14.3.2.
#define KORVA_PKCS1(last) 9, { 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, last }
#define KORVA_OIW(last) 5, { 0x2B, 0x0E, 0x03, 0x02, last }

constexpr SignatureAlgorithm kRows[kSignatureAlgorithmCount] = {
    {1, 1, K::Rsa, kAlgorithmMd2, KORVA_PKCS1(0x02)},      // md2WithRSAEncryption
    {2, 2, K::Rsa, 0, KORVA_PKCS1(0x03)},                  // md4WithRSAEncryption
    {3, 3, K::Rsa, kAlgorithmMd5, KORVA_PKCS1(0x04)},      // md5WithRSAEncryption
    {4, 4, K::Rsa, kAlgorithmSha1, KORVA_PKCS1(0x05)},     // sha1WithRSAEncryption
    {5, 5, K::Rsa, 0, KORVA_PKCS1(0x0E)},                  // sha224WithRSAEncryption
    {6, 6, K::Rsa, kAlgorithmSha256, KORVA_PKCS1(0x0B)},   // sha256WithRSAEncryption
    {7, 7, K::Rsa, kAlgorithmSha384, KORVA_PKCS1(0x0C)},   // sha384WithRSAEncryption
    {8, 8, K::Rsa, kAlgorithmSha512, KORVA_PKCS1(0x0D)},   // sha512WithRSAEncryption
    {9, 9, K::RsaPss, 0, KORVA_PKCS1(0x0A)},               // RSASSA-PSS
    {10, 10, K::Dsa, kAlgorithmSha1, 7, {0x2A, 0x86, 0x48, 0xCE, 0x38, 0x04, 0x03}},  // dsa-with-sha1
    {11, 11, K::Dsa, kAlgorithmSha256, 9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x03, 0x02}},  // dsa-with-sha256
    {12, 12, K::Ecdsa, kAlgorithmSha1, 7, {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x01}},        // ecdsa-with-SHA1
    {13, 13, K::Ecdsa, kAlgorithmSha256, 8, {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02}},  // ecdsa-with-SHA256
    {14, 14, K::Ecdsa, kAlgorithmSha384, 8, {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x03}},  // ecdsa-with-SHA384
    // Alternative OIDs, mostly OIW's, of the algorithms above.
    {15, 4, K::Rsa, kAlgorithmSha1, KORVA_OIW(0x1D)},      // sha1WithRSASignature
    {16, 3, K::Rsa, kAlgorithmMd5, KORVA_OIW(0x03)},       // md5WithRSA
    {17, 3, K::Rsa, kAlgorithmMd5, KORVA_OIW(0x19)},       // md5WithRSASignature
    {18, 2, K::Rsa, 0, KORVA_OIW(0x02)},                   // md4WithRSA
    {19, 2, K::Rsa, 0, KORVA_OIW(0x04)},                   // md4WithRSAEncryption
    {20, 1, K::Rsa, kAlgorithmMd2, 6, {0x2B, 0x0E, 0x07, 0x02, 0x03, 0x01}},  // md2WithRSA
    {21, 10, K::Dsa, kAlgorithmSha1, KORVA_OIW(0x1B)},     // dsaWithSHA1
    {22, 10, K::Dsa, kAlgorithmSha1, KORVA_OIW(0x1C)},     // dsaWithCommonSHA1
};

#undef KORVA_PKCS1
#undef KORVA_OIW

}  // namespace

const SignatureAlgorithm* SignatureAlgorithmFind(const uint8_t* oid, uint32_t oidLength) {
    if (oid == nullptr) return nullptr;
    for (const SignatureAlgorithm& row : kRows) {
        if (row.oidLength == oidLength && std::memcmp(row.oid, oid, oidLength) == 0) return &row;
    }
    return nullptr;
}

const SignatureAlgorithm* SignatureAlgorithmByNumber(uint32_t number) {
    return number >= 1 && number <= kSignatureAlgorithmCount ? &kRows[number - 1] : nullptr;
}

bool SignatureAlgorithmIsAlternative(uint32_t number) {
    return number >= kFirstAlternativeSignatureOid && number <= kSignatureAlgorithmCount;
}

}  // namespace korva::toolkit
