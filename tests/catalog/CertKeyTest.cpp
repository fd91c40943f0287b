// Keys from certificates and the RSA opener, on a certificate made for the
// e = 3 test key (whose private exponent signs what a test needs) and on the
// shared roots, whose self-signatures must open to the digest of their own
// signed part.
#include "catalog/CertKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "catalog/CertCertificate.h"
#include "catalog/CertDecrypt.h"
#include "catalog/CertDigest.h"
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
using korva::crypto::test::FromHex;

Bytes Tlv(uint8_t tag, const Bytes& content) {
    size_t n = content.size();
    Bytes out(n < 128 ? 2 : n < 256 ? 3 : 4);
    out[0] = tag;
    for (size_t i = out.size() - 1, rest = n; i > 1; --i, rest >>= 8) out[i] = static_cast<uint8_t>(rest);
    out[1] = static_cast<uint8_t>(n < 128 ? n : 0x80 + out.size() - 2);
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

// A version 3 certificate for the e = 3 test key; its signature is not checked here.
Bytes TestKeyCertificate() {
    const Bytes algorithm = Tlv(0x30, Cat({Tlv(0x06, FromHex("2a864886f70d01010b")), {0x05, 0x00}}));
    const Bytes name = Tlv(0x30, Tlv(0x31, Tlv(0x30, Cat({Tlv(0x06, {0x55, 0x04, 0x03}), Tlv(0x0C, Text("Test"))}))));
    const Bytes validity = Tlv(0x30, Cat({Tlv(0x17, Text("200101000000Z")), Tlv(0x17, Text("300101000000Z"))}));
    const Bytes rsaKey = Tlv(0x30, Cat({Tlv(0x02, Cat({{0x00}, FromHex(korva::crypto::test::kE3Modulus)})), Tlv(0x02, {3})}));
    const Bytes spki = Tlv(0x30, Cat({Tlv(0x30, Cat({Tlv(0x06, FromHex("2a864886f70d010101")), {0x05, 0x00}})),
                                      Tlv(0x03, Cat({{0x00}, rsaKey}))}));
    const Bytes tbs = Tlv(0x30, Cat({Tlv(0xA0, Tlv(0x02, {2})), Tlv(0x02, {1}), algorithm, name, validity, name, spki}));
    return Tlv(0x30, Cat({tbs, algorithm, Tlv(0x03, Cat({{0x00}, Bytes(256, 0x01)}))}));
}

// Holds a certificate set from `der` and the key made from it.
struct CertifiedKey {
    explicit CertifiedKey(const Bytes& der) {
        EXPECT_EQ(certificate.Create(nullptr), kCertSuccess);
        setStatus = korva::toolkit::CertSetEncoding(certificate.certificate(), der.data(), static_cast<uint32_t>(der.size()));
        keyResult = key.FromCertificate(certificate.certificate());
    }
    CCertCertificate certificate;
    CCertKey key;
    korva::toolkit::Status setStatus;
    uint32_t keyResult;
};

class CertDecryptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(holder_.setStatus, 0u);
        ASSERT_EQ(holder_.keyResult, kCertSuccess);
        ASSERT_EQ(signer_.Init(FromHex(korva::crypto::test::kE3Modulus), FromHex(korva::crypto::test::kE3PrivateExponent)),
                  korva::crypto::RsaStatus::Ok);
    }
    // `payload` in a PKCS #1 v1.5 type-1 block, signed.
    Bytes Sign(const Bytes& payload) {
        Bytes block = {0x00, 0x01};
        block.insert(block.end(), 256 - 3 - payload.size(), 0xFF);
        block.push_back(0x00);
        block.insert(block.end(), payload.begin(), payload.end());
        Bytes signature(256);
        EXPECT_EQ(signer_.PublicOperation(block, signature), korva::crypto::RsaStatus::Ok);
        return signature;
    }
    // Opens the signature again, fed in two pieces.
    uint32_t Open(const Bytes& signature, CCertDecrypt& decrypt) {
        uint32_t result = decrypt.Init(1, holder_.key);
        if (result == kCertSuccess) result = decrypt.Update(signature.data(), 100);
        if (result == kCertSuccess) result = decrypt.Update(signature.data() + 100, 156);
        if (result == kCertSuccess) result = decrypt.Final();
        return result;
    }

    CertifiedKey holder_{TestKeyCertificate()};
    korva::crypto::RsaPublicKey signer_;
};

TEST_F(CertDecryptTest, ReadsDigestInfoStrictlyAndBareDigestsLeniently) {
    const Bytes sha1 = FromHex("a9993e364706816aba3e25717850c26c9cd0d89d");
    struct Row {
        const char* name;
        Bytes payload;
        uint32_t strict, lenient;
    };
    const Row rows[] = {
        {"SHA-1 DigestInfo", Cat({Bytes(kSha1Info.digestInfoPrefix().begin(), kSha1Info.digestInfoPrefix().end()), sha1}), 1, 1},
        {"sha1WithRSA DigestInfo", Cat({Bytes(kSha1RsaInfo.digestInfoPrefix().begin(), kSha1RsaInfo.digestInfoPrefix().end()), sha1}), 1, 1},
        {"bare SHA-1", sha1, 3, 1},
        {"bare SHA-256", Bytes(32, 0x11), 3, 1},
        {"28 octets", Bytes(28, 0x22), 3, 3},
        {"35 octets, not a DigestInfo", Bytes(35, 0x30), 3, 3},
    };
    for (const Row& row : rows) {
        CCertDecrypt decrypt;
        ASSERT_EQ(Open(Sign(row.payload), decrypt), kCertSuccess) << row.name;
        ASSERT_EQ(Bytes(decrypt.output().data(), decrypt.output().data() + decrypt.output().size()), row.payload);
        CMemory strict, lenient;
        EXPECT_EQ(decrypt.GetDigestStrict(strict), row.strict) << row.name;
        EXPECT_EQ(decrypt.GetDigestLenient(lenient), row.lenient) << row.name;
        if (row.lenient == kCertSuccess) {
            EXPECT_EQ(Bytes(lenient.data(), lenient.data() + lenient.size()), row.payload.size() == 32 ? row.payload : sha1);
        }
    }
}

TEST_F(CertDecryptTest, RefusesBadBlocksAndEveryAllocationFailureGivesAResult) {
    CCertDecrypt decrypt;
    ASSERT_EQ(decrypt.Init(1, holder_.key), kCertSuccess);
    const Bytes notSigned(256, 0x05);
    EXPECT_EQ(decrypt.Update(notSigned.data(), 256), kCertToolkitFailure);
    ASSERT_EQ(decrypt.Init(1, holder_.key), kCertSuccess);
    EXPECT_EQ(decrypt.Update(notSigned.data(), 255), kCertSuccess);
    EXPECT_EQ(decrypt.Final(), kCertToolkitFailure);  // a partial block
    CCertKey empty;
    EXPECT_EQ(decrypt.Init(1, empty), kCertToolkitFailure);

    const Bytes signature = Sign(FromHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
    korva::test_support::SweepAllocationFailures([&](uint64_t failing) {
        CCertDecrypt swept;
        uint32_t result = Open(signature, swept);
        CMemory digest;
        if (result == kCertSuccess) result = swept.GetDigestLenient(digest);
        EXPECT_EQ(result, failing == 0 ? kCertSuccess : kCertOutOfMemory) << failing;
    });
}

TEST(CertKey, OpensEveryRootsSelfSignatureToTheDigestOfItsSignedPart) {
    size_t checked = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(KORVA_SHARED_DIR "/roots", error)) {
        if (entry.path().extension() != ".der") continue;
        CertifiedKey root(korva::catalog_test::ReadFile(entry.path()));
        ASSERT_EQ(root.setStatus, 0u) << entry.path();
        ASSERT_EQ(root.keyResult, kCertSuccess) << entry.path();
        const korva::toolkit::CertObject& cert = *root.certificate.certificate();
        CCertDecrypt decrypt;
        ASSERT_EQ(decrypt.Init(1, root.key), kCertSuccess);
        // The BIT STRING's first content octet counts the unused bits.
        ASSERT_EQ(decrypt.Update(cert.signature.data + 1, cert.signature.length - 1), kCertSuccess) << entry.path();
        ASSERT_EQ(decrypt.Final(), kCertSuccess);
        const Bytes output(decrypt.output().data(), decrypt.output().data() + decrypt.output().size());
        CMemory signedDigest;
        // MD2, which the engine does not know, has the DigestInfo length of MD5.
        const Bytes md2 = FromHex("3020300c06082a864886f70d020205000410");
        if (std::equal(md2.begin(), md2.end(), output.begin())) {
            EXPECT_EQ(decrypt.GetDigestStrict(signedDigest), kCertNoMatch) << entry.path();
            continue;
        }
        const CCertDigest::CInfo& info = CCertDigest::CInfo::ByDigestInfoLength(decrypt.output().size());
        ASSERT_EQ(decrypt.GetDigestStrict(signedDigest), kCertSuccess) << entry.path();
        CCertDigest digest;
        ASSERT_EQ(digest.Init(info.id()), kCertSuccess);
        ASSERT_EQ(digest.Update(cert.tbsCertificate.data, cert.tbsCertificate.length), kCertSuccess);
        ASSERT_EQ(digest.Final(), kCertSuccess);
        EXPECT_EQ(Bytes(digest.output().data(), digest.output().data() + digest.output().size()),
                  Bytes(signedDigest.data(), signedDigest.data() + signedDigest.size()))
            << entry.path();
        ++checked;
    }
    if (checked == 0) GTEST_SKIP() << "no roots in " KORVA_SHARED_DIR "/roots";
    EXPECT_GE(checked, 10u);
}

TEST(CertKey, RefusesCertificatesWithoutAUsableKey) {
    CCertCertificate empty;
    ASSERT_EQ(empty.Create(nullptr), kCertSuccess);
    CCertKey key;
    EXPECT_EQ(key.FromCertificate(empty.certificate()), kCertToolkitFailure);
    EXPECT_EQ(key.FromCertificate(nullptr), kCertToolkitFailure);
    EXPECT_EQ(key.key(), nullptr);
    CCertCertificate wrongContext;
    uint64_t notAContext[8] = {};  // zeros: no kind tag the toolkit takes
    EXPECT_EQ(wrongContext.Create(reinterpret_cast<korva::toolkit::ToolkitContext*>(notAContext)), kCertToolkitFailure);

    const Bytes der = TestKeyCertificate();
    korva::test_support::SweepAllocationFailures([&](uint64_t failing) {
        CCertCertificate certificate;
        uint32_t result = certificate.Create(nullptr);
        if (result == kCertSuccess) {
            korva::toolkit::Status status =
                korva::toolkit::CertSetEncoding(certificate.certificate(), der.data(), static_cast<uint32_t>(der.size()));
            if (status != 0) return;  // the toolkit's own sweep covers its decoder
            CCertKey swept;
            result = swept.FromCertificate(certificate.certificate());
        }
        EXPECT_EQ(result, failing == 0 ? kCertSuccess : kCertOutOfMemory) << failing;
    });
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
