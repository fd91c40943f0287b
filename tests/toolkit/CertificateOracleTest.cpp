// Our certificate decoding and signature checks against libcrypto's, on
// every certificate of the shared roots and real catalogs.
#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <set>

#include "tests/toolkit/CertTestData.h"
#include "toolkit/Certificate.h"
#include "toolkit/Context.h"
#include "toolkit/KeyFromSpki.h"
#include "toolkit/SignatureAlgorithms.h"

namespace korva::toolkit {
namespace {

using testing::Bytes;
using testing::OwnedCert;
using testing::ScopedContext;
using testing::TestCert;

struct X509Free {
    void operator()(X509* x) const { X509_free(x); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr Parse(const Bytes& der) {
    const unsigned char* p = der.data();
    X509Ptr x(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    return x;
}

template <typename T, typename F>
Bytes ToDer(const T* value, F encode) {
    unsigned char* out = nullptr;
    int length = encode(const_cast<T*>(value), &out);
    Bytes bytes;
    if (length > 0) bytes.assign(out, out + length);
    OPENSSL_free(out);
    return bytes;
}

// Every certificate the catalogs embed, once each.
std::vector<TestCert> CatalogCerts() {
    std::vector<TestCert> certs;
    std::set<Bytes> seen;
    for (const TestCert& file : testing::LoadSharedFiles("realcats", ".cat")) {
        const unsigned char* p = file.der.data();
        PKCS7* p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(file.der.size()));
        if (p7 == nullptr) continue;
        STACK_OF(X509)* stack = PKCS7_type_is_signed(p7) ? p7->d.sign->cert : nullptr;
        for (int i = 0; stack != nullptr && i < sk_X509_num(stack); ++i) {
            Bytes der = ToDer(sk_X509_value(stack, i), i2d_X509);
            if (seen.insert(der).second) certs.push_back({file.origin + "#" + std::to_string(i), der});
        }
        PKCS7_free(p7);
    }
    return certs;
}

const std::vector<TestCert>& AllCerts() {
    static const std::vector<TestCert> all = [] {
        std::vector<TestCert> certs = testing::LoadRootCerts();
        for (TestCert& cert : CatalogCerts()) certs.push_back(std::move(cert));
        return certs;
    }();
    return all;
}

Bytes View(const uint8_t* data, uint32_t length) {
    return Bytes(data, data + length);
}

Bytes NameDer(const NameObject* name) {
    const uint8_t* der = nullptr;
    uint32_t length = 0;
    return NameGetEncoding(name, &der, &length) == kOk ? View(der, length) : Bytes{};
}

uint32_t Seconds(const ASN1_TIME* time) {
    struct tm tm {};
    if (ASN1_TIME_to_tm(time, &tm) != 1) return 0;
    int day = 0, sec = 0;
    ASN1_TIME* epoch = ASN1_TIME_set(nullptr, 0);
    ASN1_TIME_diff(&day, &sec, epoch, time);
    ASN1_TIME_free(epoch);
    const int64_t seconds = static_cast<int64_t>(day) * 86400 + sec;
    return seconds > 0xFFFFFFFFll ? 0 : static_cast<uint32_t>(seconds);
}

// The fields both decoders give must be the same.
void ExpectSameFields(const CertObject* cert, X509* x, const std::string& origin) {
    SCOPED_TRACE(origin);
    CertFields fields{};
    ASSERT_EQ(CertGetFields(cert, &fields), kOk);
    const ASN1_INTEGER* serial = X509_get0_serialNumber(x);
    Bytes serialDer = ToDer(serial, i2d_ASN1_INTEGER);
    Bytes ours = View(fields.serialNumber.data, fields.serialNumber.length);
    ASSERT_GE(serialDer.size(), ours.size());
    EXPECT_EQ(Bytes(serialDer.end() - static_cast<long>(ours.size()), serialDer.end()), ours);
    EXPECT_EQ(NameDer(fields.issuer), ToDer(X509_get_issuer_name(x), i2d_X509_NAME));
    EXPECT_EQ(NameDer(fields.subject), ToDer(X509_get_subject_name(x), i2d_X509_NAME));
    // libcrypto encodes the key again from what it decoded; compare what it read.
    const unsigned char* keyBits = nullptr;
    int keyLength = 0;
    ASSERT_EQ(X509_PUBKEY_get0_param(nullptr, &keyBits, &keyLength, nullptr, X509_get_X509_PUBKEY(x)), 1);
    Bytes spki = View(fields.subjectPublicKeyInfo.data, fields.subjectPublicKeyInfo.length);
    ASSERT_GE(spki.size(), static_cast<size_t>(keyLength));
    EXPECT_EQ(Bytes(spki.end() - keyLength, spki.end()), Bytes(keyBits, keyBits + keyLength));
    EXPECT_EQ(fields.notBefore, Seconds(X509_get0_notBefore(x)));
    uint32_t notAfter = Seconds(X509_get0_notAfter(x));
    EXPECT_EQ(fields.notAfter, notAfter == 0 ? kNotAfterUnbounded : notAfter);
    EXPECT_EQ(fields.version, X509_get_version(x));
    uint32_t count = 0;
    if (fields.extensions != nullptr) {
        ASSERT_EQ(ExtensionListCount(fields.extensions, &count), kOk);
    }
    ASSERT_EQ(static_cast<int>(count), X509_get_ext_count(x));
    for (uint32_t i = 0; i < count; ++i) {
        const X509_EXTENSION* extension = X509_get_ext(x, static_cast<int>(i));
        const ASN1_OBJECT* object = X509_EXTENSION_get_object(const_cast<X509_EXTENSION*>(extension));
        const uint8_t* oid = nullptr;
        uint32_t oidLength = 0;
        uint32_t critical = 0;
        ASSERT_EQ(ExtensionListGetOid(fields.extensions, i, &oid, &oidLength), kOk);
        ASSERT_EQ(ExtensionListGetCritical(fields.extensions, i, &critical), kOk);
        EXPECT_EQ(View(oid, oidLength), Bytes(OBJ_get0_data(object), OBJ_get0_data(object) + OBJ_length(object)));
        EXPECT_EQ(critical, static_cast<uint32_t>(X509_EXTENSION_get_critical(extension)));
    }
}

// Once any context exists, verification takes its algorithms from the
// certificate's context, so every certificate here has one.
ToolkitContext* PlainContext() {
    static const ScopedContext context(0);
    return context.get();
}

// A key object made from the certificate's public key, for the caller to free.
Status KeyOf(const CertObject* cert, KeyObject** key) {
    CertFields fields{};
    if (CertGetFields(cert, &fields) != kOk || KeyObjectCreate(key) != kOk) return kOutOfMemory;
    return KeyObjectFromSpki(*key, fields.subjectPublicKeyInfo.data, fields.subjectPublicKeyInfo.length);
}

TEST(CertificateOracle, EveryCertificateDecodesAsLibcryptoDecodesIt) {
    const std::vector<TestCert>& certs = AllCerts();
    if (certs.empty()) GTEST_SKIP() << "shared certificates not found under " KORVA_SHARED_DIR;
    std::printf("%zu certificates\n", certs.size());
    EXPECT_GE(certs.size(), 17u + 50u);
    for (const TestCert& test : certs) {
        X509Ptr x = Parse(test.der);
        ASSERT_TRUE(x) << test.origin;
        OwnedCert ours(test.der, PlainContext());
        ASSERT_EQ(ours.set, kOk) << test.origin;
        EXPECT_EQ(ours.Encoding(kCertEncodingLenient), kOk) << test.origin;
        ExpectSameFields(ours.cert, x.get(), test.origin);
    }
}

// Mode 1 refuses what the name attribute table or the signature-algorithm
// OID rule refuses; libcrypto takes all of them. Each refusal names its rule.
TEST(CertificateOracle, StrictModeRefusesOnlyByItsRules) {
    std::map<Status, int> refusals;
    for (const TestCert& test : AllCerts()) {
        OwnedCert ours(test.der, PlainContext());
        ASSERT_EQ(ours.set, kOk) << test.origin;
        Status status = ours.Encoding(kCertEncodingStrict);
        if (status == kOk) continue;
        ++refusals[status];
        if (status == kMalformedEncoding) {
            EXPECT_TRUE(SignatureAlgorithmIsAlternative(ours.Fields().signatureAlgorithm)) << test.origin;
        } else {
            EXPECT_TRUE(status == kNameStringTypeNotAllowed || status == kNameBadLength || status == kNameBadCharacter)
                << test.origin << " refused with " << status;
        }
    }
    for (const auto& [status, count] : refusals) std::printf("mode 1 refusal %u: %d certificates\n", status, count);
}

// For every certificate whose issuer is among the certificates, our verdict
// on its signature must be libcrypto's (MD2, which libcrypto no longer
// offers, excepted).
TEST(CertificateOracle, SignaturesVerifyAsLibcryptoSays) {
    const std::vector<TestCert>& certs = AllCerts();
    std::vector<X509Ptr> parsed;
    for (const TestCert& test : certs) parsed.push_back(Parse(test.der));
    int compared = 0;
    for (size_t i = 0; i < certs.size(); ++i) {
        for (size_t j = 0; j < certs.size(); ++j) {
            if (X509_NAME_cmp(X509_get_issuer_name(parsed[i].get()), X509_get_subject_name(parsed[j].get())) != 0) {
                continue;
            }
            OwnedCert subject(certs[i].der, PlainContext());
            OwnedCert issuer(certs[j].der, PlainContext());
            KeyObject* key = nullptr;
            Status keyStatus = KeyOf(issuer.cert, &key);
            Status ours = keyStatus == kOk ? CertVerifySignature(subject.cert, key) : keyStatus;
            KeyObjectFree(&key);
            int theirs = X509_verify(parsed[i].get(), X509_get0_pubkey(parsed[j].get()));
            int nid = X509_get_signature_nid(parsed[i].get());
            if (nid == NID_md2WithRSAEncryption) {
                EXPECT_TRUE(ours == kOk || ours == kSignatureMismatch) << certs[i].origin;
                continue;
            }
            EXPECT_EQ(ours == kOk, theirs == 1) << certs[i].origin << " by " << certs[j].origin << ": " << ours;
            ++compared;
        }
    }
    std::printf("%d signatures compared\n", compared);
    EXPECT_GT(compared, 40);
}

// The first certificate the predicate picks, with the key of its issuer.
struct Subject {
    const TestCert* cert = nullptr;
    const TestCert* issuer = nullptr;
};

template <typename Pick>
Subject Find(Pick pick) {
    const std::vector<TestCert>& certs = AllCerts();
    for (const TestCert& test : certs) {
        X509Ptr x = Parse(test.der);
        if (!pick(x.get())) continue;
        for (const TestCert& candidate : certs) {
            X509Ptr issuer = Parse(candidate.der);
            if (X509_NAME_cmp(X509_get_issuer_name(x.get()), X509_get_subject_name(issuer.get())) == 0) {
                return {&test, &candidate};
            }
        }
    }
    return {};
}

Status SpkiKeyStatus(const CertObject* cert) {
    KeyObject* key = nullptr;
    Status status = KeyOf(cert, &key);
    KeyObjectFree(&key);
    return status;
}

// What an octet is changed to: the extremes, each neighbour, and the
// original with its lowest bit, the constructed bit, the top bit and every
// bit flipped; these reach every length, tag and value decision an octet
// takes part in, at a fraction of the cost of all 255 values.
std::set<uint8_t> Replacements(uint8_t original) {
    std::set<uint8_t> values{0x00, 0xFF, static_cast<uint8_t>(original + 1), static_cast<uint8_t>(original - 1),
                             static_cast<uint8_t>(original ^ 0x01), static_cast<uint8_t>(original ^ 0x20),
                             static_cast<uint8_t>(original ^ 0x80), static_cast<uint8_t>(~original)};
    values.erase(original);
    return values;
}

// Truncations and single-octet changes: each is refused with a code, or
// decodes to what libcrypto decodes from the same bytes; a signature we
// accept libcrypto accepts too.
void Mutate(const Subject& subject, bool md2) {
    ASSERT_NE(subject.cert, nullptr);
    SCOPED_TRACE(subject.cert->origin);
    const Bytes& original = subject.cert->der;
    OwnedCert issuer(subject.issuer->der, PlainContext());
    KeyObject* key = nullptr;
    ASSERT_EQ(KeyOf(issuer.cert, &key), kOk);
    X509Ptr issuerX = Parse(subject.issuer->der);
    for (size_t length = 0; length < original.size(); ++length) {
        Bytes cut(original.begin(), original.begin() + static_cast<long>(length));
        OwnedCert ours(cut, PlainContext());
        EXPECT_NE(ours.set, kOk) << "truncated to " << length;
    }
    int accepted = 0;
    // The public key's own check is left to the other tests: it would
    // dominate the time here.
    ScopedContext context(kContextFlagAnyPublicKey);
    OwnedCert unchanged(original, PlainContext());
    const CertFields originalFields = unchanged.Fields();
    const size_t spkiBegin = static_cast<size_t>(originalFields.subjectPublicKeyInfo.data - unchanged.cert->encoding);
    const size_t spkiEnd = spkiBegin + originalFields.subjectPublicKeyInfo.length;
    int tried = 0;
    for (size_t at = 0; at < original.size(); ++at) {
        for (uint8_t value : Replacements(original[at])) {
            ++tried;
            Bytes changed = original;
            changed[at] = value;
            OwnedCert ours(changed, context.get());
            if (ours.set != kOk || ours.Encoding(kCertEncodingLenient) != kOk) continue;
            ++accepted;
            // Every fourth octet's changes are also verified: RSA is what
            // makes this sweep slow, and any octet of the signed block does.
            Status verdict = at % 4 == 0 ? CertVerifySignature(ours.cert, key) : kSignatureMismatch;
            // Inside the public key our key check, left out above, has its say.
            if (at >= spkiBegin && at < spkiEnd && SpkiKeyStatus(ours.cert) != kOk) continue;
            X509Ptr x = Parse(changed);
            ASSERT_TRUE(x) << "octet " << at << " = " << int{value} << " accepted, libcrypto refuses";
            ExpectSameFields(ours.cert, x.get(), "octet " + std::to_string(at) + " = " + std::to_string(value));
            if (verdict == kOk && !md2) {
                EXPECT_EQ(X509_verify(x.get(), X509_get0_pubkey(issuerX.get())), 1) << at;
            }
        }
    }
    KeyObjectFree(&key);
    std::printf("%s: %d of %d single-octet changes decode\n", subject.cert->origin.c_str(), accepted, tried);
}

TEST(CertificateMutation, Md2SignedRoot) {
    Mutate(Find([](X509* x) { return X509_get_signature_nid(x) == NID_md2WithRSAEncryption; }), true);
}

TEST(CertificateMutation, Sha1Intermediate) {
    Mutate(Find([](X509* x) {
               return X509_get_signature_nid(x) == NID_sha1WithRSAEncryption && X509_check_ca(x) != 0 &&
                      X509_NAME_cmp(X509_get_issuer_name(x), X509_get_subject_name(x)) != 0;
           }),
           false);
}

TEST(CertificateMutation, Sha256Leaf) {
    Mutate(Find([](X509* x) { return X509_get_signature_nid(x) == NID_sha256WithRSAEncryption && X509_check_ca(x) == 0; }),
           false);
}

}  // namespace
}  // namespace korva::toolkit
