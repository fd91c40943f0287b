#include "toolkit/Certificate.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/common/AllocationFaults.h"
#include "tests/toolkit/CertTestData.h"
#include "tests/toolkit/DerBuilder.h"
#include "toolkit/CertificateLists.h"
#include "toolkit/Context.h"
#include "toolkit/ExtensionValues.h"

namespace korva::toolkit {
namespace {

using namespace testing;

const Der kOid2_5_29_4{0x55, 0x1D, 0x04};
const Der kBasicConstraintsOid{0x55, 0x1D, 0x13};
const Der kNameConstraintsOid{0x55, 0x1D, 0x1E};
const Der kCrlNumberOid{0x55, 0x1D, 0x14};

struct DecodeCase {
    const char* what;
    std::function<void(CertParts&)> change;
    uint32_t flags;
    Status set;
    Status lenient;  // CertGetEncoding in mode 0, when set succeeds
    Status strict;   // and in mode 1
};

TEST(Certificate, DecodingRules) {
    const Der extension = Extension(kBasicConstraintsOid, true, Sequence({Der{0x01, 0x01, 0xFF}}));
    const DecodeCase cases[] = {
        {"a well-formed v3 certificate", [](CertParts&) {}, 4, kOk, kOk, kOk},
        {"version 4", [](CertParts& p) { p.version = Tlv(0xA0, Tlv(0x02, {0x03})); }, 4, kVersionMismatch},
        {"v1 with extensions", [&](CertParts& p) { p.version.clear(); p.extensions = Sequence({extension}); }, 4,
         kVersionMismatch},
        {"v1 with a unique ID", [](CertParts& p) { p.version.clear(); p.uniqueIds = Tlv(0x81, {0x00, 0x01}); }, 4,
         kVersionMismatch},
        {"v2 with a unique ID",
         [](CertParts& p) { p.version = Tlv(0xA0, Tlv(0x02, {0x01})); p.uniqueIds = Tlv(0x82, {0x00, 0x01}); }, 4,
         kOk, kOk, kOk},
        {"v1 spelt out", [](CertParts& p) { p.version = Tlv(0xA0, Tlv(0x02, {0x00})); }, 4, kOk, kNoEncodingToVerify,
         kNoEncodingToVerify},
        {"inner algorithm without NULL", [](CertParts& p) { p.innerAlgorithm = AlgorithmIdentifier("1.2.840.113549.1.1.11", false); }, 4,
         kMalformedEncoding},
        {"unknown signature algorithm",
         [](CertParts& p) { p.innerAlgorithm = p.outerAlgorithm = Sequence({Tlv(0x06, {0x2A, 0x03})}); }, 4,
         kSignatureAlgorithmUnknown},
        {"sha1WithRSASignature", [](CertParts& p) { p.innerAlgorithm = p.outerAlgorithm = AlgorithmIdentifier("1.3.14.3.2.29"); }, 4, kOk,
         kOk, kMalformedEncoding},
        {"notAfter in 2200", [](CertParts& p) { p.notAfter = Tlv(0x18, Text("22000101000000Z")); }, 4, kOk, kOk, kOk},
        {"notAfter in 2200, strict expiry", [](CertParts& p) { p.notAfter = Tlv(0x18, Text("22000101000000Z")); }, 6,
         kDataMissing},
        {"validity reversed", [](CertParts& p) { p.notBefore = Tlv(0x17, Text("350101000000Z")); }, 4,
         kValidityReversed},
        {"UTCTime in 1950", [](CertParts& p) { p.notBefore = Tlv(0x17, Text("500101000000Z")); }, 4,
         kMalformedEncoding},
        {"time as an OCTET STRING", [](CertParts& p) { p.notBefore = Tlv(0x04, Text("200101000000Z")); }, 4,
         kMalformedEncoding},
        {"empty issuer in v3", [](CertParts& p) { p.issuer = Sequence({}); }, 4, kOk, kOk, kOk},
        {"empty issuer in v1", [](CertParts& p) { p.version.clear(); p.issuer = Sequence({}); }, 4, kIssuerNameUnparsable},
        {"empty subject in v2",
         [](CertParts& p) { p.version = Tlv(0xA0, Tlv(0x02, {0x01})); p.subject = Sequence({}); }, 4,
         kSubjectNameUnparsable},
        {"malformed subject", [](CertParts& p) { p.subject = Sequence({Tlv(0x31, {})}); }, 4, kSubjectNameUnparsable},
        {"country of three letters", [](CertParts& p) { p.subject = NameDer({{kCountry, 0x13, "USA"}}); }, 4, kOk,
         kOk, kNameBadLength},
        {"long-form length in a name",
         [](CertParts& p) { p.subject = Concat({Der{0x30, 0x81, 0x00}}); }, 4, kOk, kNoEncodingToVerify,
         kNoEncodingToVerify},
        {"critical spelt FALSE",
         [](CertParts& p) {
             p.extensions = Sequence({Sequence({Tlv(0x06, {0x55, 0x1D, 0x0E}), Der{0x01, 0x01, 0x00}, Tlv(0x04, Tlv(0x04, {1}))})});
         },
         4, kOk, kNoEncodingToVerify, kNoEncodingToVerify},
        {"duplicate extension", [&](CertParts& p) { p.extensions = Sequence({extension, extension}); }, 4,
         kExtensionsUnparsable},
        {"no extensions in [3]", [](CertParts& p) { p.extensions = Sequence({}); }, 4, kExtensionsUnparsable},
        {"CRL extension", [](CertParts& p) { p.extensions = Sequence({Extension(kCrlNumberOid, false, Tlv(0x02, {1}))}); },
         4, kExtensionsUnparsable},
        {"critical 2.5.29.4", [](CertParts& p) { p.extensions = Sequence({Extension(kOid2_5_29_4, true, Sequence({}))}); }, 4,
         kUnknownCriticalExtension},
        {"non-critical nameConstraints",
         [](CertParts& p) { p.extensions = Sequence({Extension(kNameConstraintsOid, false, Sequence({}))}); }, 4, kOk, kOk, kOk},
        {"non-critical nameConstraints, strict",
         [](CertParts& p) { p.extensions = Sequence({Extension(kNameConstraintsOid, false, Sequence({}))}); }, 12,
         kStrictCriticality},
        {"malformed basicConstraints",
         [](CertParts& p) { p.extensions = Sequence({Extension(kBasicConstraintsOid, true, Tlv(0x04, {}))}); }, 4,
         kExtensionsUnparsable},
        {"negative serial spelt long", [](CertParts& p) { p.serial = Tlv(0x02, {0xFF, 0x80}); }, 4,
         kMalformedEncoding},
        {"serial 127 spelt long", [](CertParts& p) { p.serial = Tlv(0x02, {0x00, 0x7F}); }, 4, kMalformedEncoding},
        {"a third time in the validity", [](CertParts& p) { p.notAfter = Concat({p.notAfter, p.notAfter}); }, 4,
         kMalformedEncoding},
        {"signature with 8 unused bits", [](CertParts& p) { p.signature = Tlv(0x03, {0x08, 0x00}); }, 4,
         kMalformedEncoding},
        {"unusable public key", [](CertParts&) {}, 0, kOk, kSignatureMismatch, kSignatureMismatch},
    };
    for (const DecodeCase& c : cases) {
        CertParts parts;
        c.change(parts);
        ScopedContext context(c.flags);
        OwnedCert cert(parts.Build(), context.get());
        EXPECT_EQ(cert.set, c.set) << c.what;
        if (c.set != kOk) {
            EXPECT_EQ(cert.Encoding(kCertEncodingLenient), kNoEncodingToVerify) << c.what;
            continue;
        }
        OwnedCert strict(parts.Build(), context.get());
        EXPECT_EQ(cert.Encoding(kCertEncodingLenient), c.lenient) << c.what;
        EXPECT_EQ(strict.Encoding(kCertEncodingStrict), c.strict) << c.what;
    }
}

TEST(Certificate, FieldsOfAHandMadeCertificate) {
    CertParts parts;
    parts.notAfter = Tlv(0x18, Text("22000101000000Z"));
    parts.extensions = Sequence({Extension(kBasicConstraintsOid, true, Sequence({Der{0x01, 0x01, 0xFF}, Tlv(0x02, {3})}))});
    Der der = Concat({parts.Build(), Der{0xDE, 0xAD}});  // octets after the certificate are ignored
    ScopedContext context(4);
    OwnedCert cert(der, context.get());
    ASSERT_EQ(cert.set, kOk);
    CertFields fields = cert.Fields();
    EXPECT_EQ(fields.version, 2);
    EXPECT_EQ(fields.signatureAlgorithm, 6u);
    EXPECT_EQ(fields.notBefore, 1577836800u);
    EXPECT_EQ(fields.notAfter, kNotAfterUnbounded);
    EXPECT_EQ(Der(fields.serialNumber.data, fields.serialNumber.data + fields.serialNumber.length), Der{0x01});
    ASSERT_NE(fields.extensions, nullptr);
    const void* value = nullptr;
    ASSERT_EQ(ExtensionListGetValue(fields.extensions, 0, 0, &value), kOk);
    const auto* constraints = static_cast<const BasicConstraintsValue*>(value);
    EXPECT_EQ(constraints->cA, 1u);
    EXPECT_EQ(constraints->pathLength, 3u);
    const uint8_t* stored = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(CertGetEncoding(cert.cert, kCertEncodingStrict, &stored, &length), kOk);
    EXPECT_EQ(Der(stored, stored + length), parts.Build());
    EXPECT_EQ(CertGetEncoding(cert.cert, kCertEncodingStrict, nullptr, &length), kInvalidArgument);
    EXPECT_EQ(CertGetFields(cert.cert, nullptr), kInvalidArgument);
    // Its own encoding may be set again.
    EXPECT_EQ(CertSetEncoding(cert.cert, stored, length), kOk);
    EXPECT_EQ(cert.Fields().notAfter, kNotAfterUnbounded);
}

TEST(Certificate, VerificationRefusesWhatItCannotCheck) {
    CertParts parts;
    ScopedContext context(4);
    OwnedCert cert(parts.Build(), context.get());
    KeyObject* key = nullptr;
    ASSERT_EQ(KeyObjectCreate(&key), kOk);
    EXPECT_EQ(CertVerifySignature(cert.cert, nullptr), kSignatureMismatch);
    EXPECT_EQ(CertVerifySignature(nullptr, key), kInvalidCertificate);
    EXPECT_EQ(CertVerifySignature(cert.cert, key), kSignatureUncheckable);  // an empty key
    parts.signature = Tlv(0x03, {0x01, 0x00});
    OwnedCert unusedBits(parts.Build(), context.get());
    EXPECT_EQ(CertVerifySignature(unusedBits.cert, key), kSignatureUncheckable);
    OwnedCert empty(Der{}, context.get());
    EXPECT_EQ(CertVerifySignature(empty.cert, key), kInvalidCertificate);
    KeyObjectFree(&key);
}

TEST(Certificate, HandleChecks) {
    alignas(8) unsigned char other[64] = {};  // a handle of no kind
    CertObject* cert = nullptr;
    EXPECT_EQ(CertCreate(&cert, other), kInvalidContext);
    EXPECT_EQ(CertCreate(nullptr, nullptr), kInvalidCertificate);
    ASSERT_EQ(CertCreate(&cert, nullptr), kOk);
    EXPECT_EQ(CertSetEncoding(cert, nullptr, 0), kInputMissing);
    EXPECT_EQ(CertSetEncoding(reinterpret_cast<CertObject*>(other), nullptr, 0), kInvalidCertificate);
    CertObject* second = nullptr;
    ASSERT_EQ(CertAddRef(nullptr, cert, &second), kOk);
    EXPECT_EQ(second, cert);
    CertFree(&second);
    EXPECT_EQ(second, nullptr);
    CertFree(&cert);
    CertFree(&cert);
    EXPECT_EQ(cert, nullptr);
}

TEST(Certificate, ListsCopyReferenceAndSkipEqualCertificates) {
    ScopedContext context(4);
    CertParts parts;
    OwnedCert a(parts.Build(), context.get());
    parts.serial = Tlv(0x02, {0x02});
    OwnedCert b(parts.Build(), context.get());
    ObjectList* list = nullptr;
    ASSERT_EQ(ObjectListCreate(&list), kOk);
    uint32_t index = 99;
    ASSERT_EQ(CertListAppendCopy(list, a.cert, &index), kOk);
    void* copy = nullptr;
    ASSERT_EQ(ObjectListGet(list, 0, &copy), kOk);
    EXPECT_NE(copy, a.cert);
    EXPECT_TRUE(CertEqual(static_cast<CertObject*>(copy), a.cert));
    EXPECT_EQ(CertListAppendUnique(list, a.cert, &index), kOk);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(CertListAppendUnique(list, b.cert, &index), kOk);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(CertListAppendReference(list, a.cert, &index), kOk);
    uint32_t count = 0;
    ASSERT_EQ(ObjectListCount(list, &count), kOk);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(a.cert->references, 2u);
    OwnedCert empty(Der{}, context.get());
    EXPECT_EQ(CertListAppendCopy(list, empty.cert, nullptr), kNoEncodingToVerify);
    ObjectListFree(&list);
    EXPECT_EQ(a.cert->references, 1u);
}

TEST(Certificate, EveryAllocationFailureIsReportedAndLeaksNothing) {
    CertParts parts;
    parts.extensions = Sequence({Extension(kBasicConstraintsOid, true, Sequence({Der{0x01, 0x01, 0xFF}})),
                            Extension({0x55, 0x1D, 0x11}, false, Sequence({Tlv(0x82, Text("example.com"))}))});
    const Der der = parts.Build();
    ScopedContext context(4);
    uint64_t allocations = korva::test_support::SweepAllocationFailures([&](uint64_t failing) {
        CertObject* cert = nullptr;
        Status status = CertCreate(&cert, context.get());
        if (status == kOk) status = CertSetEncoding(cert, der.data(), static_cast<uint32_t>(der.size()));
        const uint8_t* out = nullptr;
        uint32_t length = 0;
        if (status == kOk) status = CertGetEncoding(cert, kCertEncodingStrict, &out, &length);
        EXPECT_TRUE(failing == 0 ? status == kOk : status == kOutOfMemory) << failing << ": " << status;
        CertFree(&cert);
    });
    EXPECT_GT(allocations, 10u);
}

}  // namespace
}  // namespace korva::toolkit
