// Keys from certificates and the RSA opener: on the shared roots, whose
// self-signatures must open to the digest of their signed part, and on a
// certificate for the e = 3 test key, whose private exponent signs any block.
#include "catalog/CertKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "catalog/CertCertificate.h"
#include "catalog/CertDecrypt.h"
#include "catalog/CertDigestInfo.h"
#include "catalog/CertResult.h"
#include "tests/catalog/CatalogTestSupport.h"
#include "tests/common/AllocationFaults.h"
#include "tests/crypto/TestKeys.h"
#include "tests/crypto/TestSupport.h"
#include "toolkit/Certificate.h"
#include "toolkit/crypto/Rsa.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::catalog_test::Bytes;
using korva::catalog_test::Concat;
using korva::test::Tlv;
using korva::crypto::test::FromHex;

// A version 3 certificate for the test key, in hex pieces around its modulus.
Bytes TestKeyCertificate() {
    const Bytes algorithm = FromHex("300d06092a864886f70d01010b0500");
    const Bytes name = FromHex("300f310d300b06035504030c0454657374");
    const Bytes validity = FromHex("301e170d3230303130313030303030305a170d3330303130313030303030305a");
    const Bytes modulus = Tlv(0x02, FromHex(std::string("00") + korva::crypto::test::kE3Modulus));
    const Bytes rsaKey = Tlv(0x30, Concat({modulus, FromHex("020103")}));
    const Bytes spki = Tlv(0x30, Concat({FromHex("300d06092a864886f70d0101010500"), Tlv(0x03, Concat({{0x00}, rsaKey}))}));
    const Bytes tbs = Tlv(0x30, Concat({FromHex("a003020102020101"), algorithm, name, validity, name, spki}));
    return Tlv(0x30, Concat({tbs, algorithm, Tlv(0x03, Bytes(257, 0x00))}));
}

// A certificate set from `der` and the key made from it.
struct CertifiedKey {
    explicit CertifiedKey(const Bytes& der) {
        certificate.Create(nullptr);
        setStatus = korva::toolkit::CertSetEncoding(certificate.certificate(), der.data(), static_cast<uint32_t>(der.size()));
        keyResult = key.FromCertificate(certificate.certificate());
    }
    CCertCertificate certificate;
    CCertKey key;
    korva::toolkit::Status setStatus;
    uint32_t keyResult;
};

uint32_t Open(const CCertKey& key, const uint8_t* signature, uint32_t length, CCertDecrypt& decrypt) {
    uint32_t result = decrypt.Init(1, key);
    if (result == kCertSuccess) result = decrypt.Update(signature, length / 2);  // in two pieces
    if (result == kCertSuccess) result = decrypt.Update(signature + length / 2, length - length / 2);
    return result == kCertSuccess ? decrypt.Final() : result;
}

Bytes Of(const CMemory& memory) { return Bytes(memory.data(), memory.data() + memory.size()); }

TEST(CertDecrypt, OpensEveryRootsSelfSignatureToTheDigestOfItsSignedPart) {
    size_t checked = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(KORVA_SHARED_DIR "/roots", error)) {
        if (entry.path().extension() != ".der") continue;
        CertifiedKey root(korva::catalog_test::ReadFile(entry.path()));
        ASSERT_EQ(root.keyResult, kCertSuccess) << entry.path();
        const korva::toolkit::CertObject& cert = *root.certificate.certificate();
        CCertDecrypt decrypt;  // the signature's first octet counts unused bits
        ASSERT_EQ(Open(root.key, cert.signature.data + 1, cert.signature.length - 1, decrypt), kCertSuccess);
        CMemory signedDigest;
        const Bytes md2 = FromHex("3020300c06082a864886f70d020205000410");  // as long as MD5's, unknown here
        if (std::equal(md2.begin(), md2.end(), decrypt.output().data())) {
            EXPECT_EQ(decrypt.GetDigestStrict(signedDigest), kCertNoMatch) << entry.path();
            continue;
        }
        ASSERT_EQ(decrypt.GetDigestStrict(signedDigest), kCertSuccess) << entry.path();
        CCertDigest digest;
        ASSERT_EQ(digest.Init(CCertDigest::CInfo::ByDigestInfoLength(decrypt.output().size()).id()), kCertSuccess);
        ASSERT_EQ(digest.Update(cert.tbsCertificate.data, cert.tbsCertificate.length), kCertSuccess);
        ASSERT_EQ(digest.Final(), kCertSuccess);
        EXPECT_EQ(Of(digest.output()), Of(signedDigest)) << entry.path();
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "no roots in " KORVA_SHARED_DIR "/roots";
}

TEST(CertDecrypt, ReadsDigestInfoStrictlyAndBareDigestsLeniently) {
    CertifiedKey holder(TestKeyCertificate());
    ASSERT_EQ(holder.keyResult, kCertSuccess);
    auto sign = [&](const Bytes& payload) {
        Bytes block(256 - payload.size(), 0xFF);
        block[0] = 0x00, block[1] = 0x01, block.back() = 0x00;
        block.insert(block.end(), payload.begin(), payload.end());
        return korva::crypto::test::RawRsa(FromHex(korva::crypto::test::kE3Modulus),
                                           FromHex(korva::crypto::test::kE3PrivateExponent), block);
    };
    const Bytes sha1 = FromHex("a9993e364706816aba3e25717850c26c9cd0d89d");
    auto prefixed = [&](const CCertDigest::CInfo& info) {
        return Concat({Bytes(info.digestInfoPrefix().begin(), info.digestInfoPrefix().end()), sha1});
    };
    struct Row {
        Bytes payload;
        uint32_t strict, lenient;
    } const rows[] = {{prefixed(kSha1Info), 1, 1}, {prefixed(kSha1RsaInfo), 1, 1}, {sha1, 3, 1},
                      {Bytes(28, 0x22), 3, 3},     {Bytes(35, 0x30), 3, 3}};
    for (const Row& row : rows) {
        CCertDecrypt decrypt;
        const Bytes signature = sign(row.payload);
        ASSERT_EQ(Open(holder.key, signature.data(), 256, decrypt), kCertSuccess);
        ASSERT_EQ(Of(decrypt.output()), row.payload);
        CMemory strict, lenient;
        EXPECT_EQ(decrypt.GetDigestStrict(strict), row.strict) << row.payload.size();
        EXPECT_EQ(decrypt.GetDigestLenient(lenient), row.lenient) << row.payload.size();
        EXPECT_TRUE(row.lenient != kCertSuccess || Of(lenient) == sha1);
    }
    CCertDecrypt decrypt;
    const Bytes notSigned(256, 0x05);
    EXPECT_EQ(Open(holder.key, notSigned.data(), 256, decrypt), kCertToolkitFailure);
    EXPECT_EQ(Open(holder.key, sign(sha1).data(), 255, decrypt), kCertToolkitFailure);  // a partial block
    EXPECT_EQ(decrypt.Init(1, CCertKey()), kCertToolkitFailure);

    const Bytes signature = sign(sha1);
    korva::test_support::SweepAllocationFailures([&](uint64_t failing) {
        CCertDecrypt swept;
        CMemory digest;
        uint32_t result = Open(holder.key, signature.data(), 256, swept);
        if (result == kCertSuccess) result = swept.GetDigestLenient(digest);
        EXPECT_EQ(result, failing == 0 ? kCertSuccess : kCertOutOfMemory) << failing;
    });
}

TEST(CertKey, RefusesCertificatesWithoutAUsableKey) {
    CCertCertificate empty;
    ASSERT_EQ(empty.Create(nullptr), kCertSuccess);
    CCertKey key;
    EXPECT_EQ(key.FromCertificate(empty.certificate()), kCertToolkitFailure);
    EXPECT_EQ(key.FromCertificate(nullptr), kCertToolkitFailure);
    EXPECT_EQ(key.key(), nullptr);
    uint64_t notAContext[8] = {};  // zeros: no kind tag the toolkit takes
    EXPECT_EQ(empty.Create(reinterpret_cast<korva::toolkit::ToolkitContext*>(notAContext)), kCertToolkitFailure);
    const Bytes der = TestKeyCertificate();
    korva::test_support::SweepAllocationFailures([&](uint64_t failing) {
        CertifiedKey swept(der);
        EXPECT_TRUE(swept.setStatus != 0 || swept.keyResult == (failing == 0 ? kCertSuccess : kCertOutOfMemory)) << failing;
    });
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
