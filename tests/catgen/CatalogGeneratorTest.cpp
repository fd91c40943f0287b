// Generated catalogs, read back with libcrypto: the well-formed ones verify
// (content digest, signature, chain, countersignature or time-stamp token),
// and each malformation breaks exactly what its name says.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "tools/catgen/Catalog.h"
#include "tools/catgen/CommandLine.h"

namespace korva::catgen {
namespace {

constexpr const char* kTrustListOid = "1.3.6.1.4.1.311.10.1";
constexpr const char* kTokenAttributeOid = "1.3.6.1.4.1.311.3.3.1";

template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, std::integral_constant<decltype(Free), Free>>;

// What libcrypto says about a catalog.
struct Facts {
    bool parsed = false;
    bool signedData = false;
    bool trustListContent = false;
    int digestAlgorithms = 0;
    int certificates = 0;
    bool crls = false;
    int signers = 0;
    int authenticatedAttributes = 0;
    bool rsaEncryption = false;
    bool contentDigest = false;
    bool signature = false;
    bool chain = false;
    bool countersignature = false;
};

bool ChainVerifies(X509* cert, STACK_OF(X509) * untrusted, const Identity& root) {
    Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
    Owned<X509_STORE_CTX, X509_STORE_CTX_free> context(X509_STORE_CTX_new());
    X509_STORE_add_cert(store.get(), root.cert.get());
    return cert != nullptr && X509_STORE_CTX_init(context.get(), store.get(), cert, untrusted) == 1 &&
           X509_verify_cert(context.get()) == 1;
}

Bytes AttributesDer(STACK_OF(X509_ATTRIBUTE) * attributes) {
    unsigned char* der = nullptr;
    int size = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(attributes), &der, ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    Bytes out(der, der + std::max(size, 0));
    OPENSSL_free(der);
    return out;
}

X509* SignerCertificate(PKCS7_SIGNER_INFO* info, STACK_OF(X509) * certs) {
    return X509_find_by_issuer_and_serial(certs, info->issuer_and_serial->issuer, info->issuer_and_serial->serial);
}

// The message-digest attribute equals the digest of `covered`, and the
// signature over the attributes opens with the certificate's key.
void CheckSignerInfo(PKCS7_SIGNER_INFO* info, X509* cert, const Bytes& covered, bool& digestOk, bool& signatureOk) {
    const EVP_MD* md = EVP_get_digestbyobj(info->digest_alg->algorithm);
    ASN1_OCTET_STRING* digest = PKCS7_digest_from_attributes(info->auth_attr);
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    digestOk = md != nullptr && digest != nullptr && EVP_Digest(covered.data(), covered.size(), hash, &size, md, nullptr) == 1 &&
               Bytes(hash, hash + size) == Bytes(digest->data, digest->data + digest->length);
    Bytes attributes = AttributesDer(info->auth_attr);
    Owned<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    signatureOk = md != nullptr && cert != nullptr && !attributes.empty() &&
                  EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, X509_get0_pubkey(cert)) == 1 &&
                  EVP_DigestVerify(context.get(), info->enc_digest->data, static_cast<size_t>(info->enc_digest->length),
                                   attributes.data(), attributes.size()) == 1;
}

bool TokenVerifies(const ASN1_TYPE* value, const Bytes& encryptedDigest, const Identity& tsaRoot) {
    if (value == nullptr || value->type != V_ASN1_SEQUENCE) return false;
    const unsigned char* cursor = value->value.sequence->data;
    Owned<PKCS7, PKCS7_free> token(d2i_PKCS7(nullptr, &cursor, value->value.sequence->length));
    Owned<TS_VERIFY_CTX, TS_VERIFY_CTX_free> context(TS_VERIFY_CTX_new());
    if (token == nullptr) return false;
    X509_STORE* store = X509_STORE_new();
    X509_STORE_add_cert(store, tsaRoot.cert.get());
    TS_VERIFY_CTX_set_store(context.get(), store);
    const EVP_MD* md = EVP_get_digestbyobj(token->d.sign->md_algs != nullptr && sk_X509_ALGOR_num(token->d.sign->md_algs) > 0
                                               ? sk_X509_ALGOR_value(token->d.sign->md_algs, 0)->algorithm
                                               : nullptr);
    unsigned char* imprint = static_cast<unsigned char*>(OPENSSL_malloc(EVP_MAX_MD_SIZE));
    unsigned int size = 0;
    EVP_Digest(encryptedDigest.data(), encryptedDigest.size(), imprint, &size, md, nullptr);
    TS_VERIFY_CTX_set_imprint(context.get(), imprint, size);
    TS_VERIFY_CTX_set_flags(context.get(), TS_VFY_SIGNATURE | TS_VFY_IMPRINT | TS_VFY_VERSION);
    return TS_RESP_verify_token(context.get(), token.get()) == 1;
}

bool CountersignatureVerifies(PKCS7_SIGNER_INFO* info, STACK_OF(X509) * certs, const Identity& tsaRoot) {
    Bytes encryptedDigest(info->enc_digest->data, info->enc_digest->data + info->enc_digest->length);
    Owned<ASN1_OBJECT, ASN1_OBJECT_free> tokenOid(OBJ_txt2obj(kTokenAttributeOid, 1));
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(info->unauth_attr); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(info->unauth_attr, i);
        if (OBJ_cmp(X509_ATTRIBUTE_get0_object(attribute), tokenOid.get()) == 0) {
            return TokenVerifies(X509_ATTRIBUTE_get0_type(attribute, 0), encryptedDigest, tsaRoot);
        }
    }
    ASN1_TYPE* value = PKCS7_get_attribute(info, NID_pkcs9_countersignature);
    if (value == nullptr || value->type != V_ASN1_SEQUENCE) return false;
    const unsigned char* cursor = value->value.sequence->data;
    Owned<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free> counter(
        d2i_PKCS7_SIGNER_INFO(nullptr, &cursor, value->value.sequence->length));
    if (counter == nullptr) return false;
    X509* cert = SignerCertificate(counter.get(), certs);
    bool digestOk = false, signatureOk = false;
    CheckSignerInfo(counter.get(), cert, encryptedDigest, digestOk, signatureOk);
    return digestOk && signatureOk && ChainVerifies(cert, certs, tsaRoot);
}

Facts Inspect(const Bytes& der, const Identity& root, const Identity& tsaRoot) {
    Facts facts;
    const unsigned char* cursor = der.data();
    Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &cursor, static_cast<long>(der.size())));
    facts.parsed = p7 != nullptr;
    if (!facts.parsed || !PKCS7_type_is_signed(p7.get())) return facts;
    facts.signedData = true;
    PKCS7_SIGNED* sd = p7->d.sign;
    Owned<ASN1_OBJECT, ASN1_OBJECT_free> trustListOid(OBJ_txt2obj(kTrustListOid, 1));
    facts.trustListContent = OBJ_cmp(sd->contents->type, trustListOid.get()) == 0 && sd->contents->d.other != nullptr &&
                             sd->contents->d.other->type == V_ASN1_SEQUENCE;
    facts.digestAlgorithms = sk_X509_ALGOR_num(sd->md_algs);
    facts.certificates = std::max(sk_X509_num(sd->cert), 0);
    facts.crls = sd->crl != nullptr;
    facts.signers = sk_PKCS7_SIGNER_INFO_num(sd->signer_info);
    if (facts.signers != 1 || !facts.trustListContent) return facts;
    PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(sd->signer_info, 0);
    facts.authenticatedAttributes = std::max(sk_X509_ATTRIBUTE_num(info->auth_attr), 0);
    facts.rsaEncryption = OBJ_obj2nid(info->digest_enc_alg->algorithm) == NID_rsaEncryption;

    // The trust list is digested without its own header.
    const ASN1_STRING* list = sd->contents->d.other->value.sequence;
    const unsigned char* content = list->data;
    long length = 0;
    int tag = 0, tagClass = 0;
    ASN1_get_object(&content, &length, &tag, &tagClass, list->length);
    X509* cert = SignerCertificate(info, sd->cert);
    CheckSignerInfo(info, cert, Bytes(content, content + length), facts.contentDigest, facts.signature);
    facts.chain = ChainVerifies(cert, sd->cert, root);
    facts.countersignature = CountersignatureVerifies(info, sd->cert, tsaRoot);
    return facts;
}

bool Verified(const Facts& facts, bool countersigned) {
    return facts.parsed && facts.trustListContent && facts.contentDigest && facts.signature && facts.chain &&
           facts.countersignature == countersigned;
}

class CatalogGenerator : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetKeyBits(1024); }
    Identity root_ = TestRoot("test-root", "Korva Generator Test Root");
    Identity tsaRoot_ = TestRoot("test-tsa-root", "Korva Generator Test TSA Root");

    Catalog Build(const CatalogOptions& options, int intermediates = 1) {
        ChainOptions chain;
        chain.intermediates = intermediates;
        chain.digest = options.digest;
        signer_ = SignerChainFor(root_, chain, options.malformation);
        timeStamper_ = TimeStamperChainFor(tsaRoot_, chain, options.malformation);
        return BuildCatalog(options, signer_, &timeStamper_);
    }
    Facts Check(const Bytes& der) { return Inspect(der, root_, tsaRoot_); }

    Chain signer_, timeStamper_;
};

struct WellFormedCase {
    const char* name;
    Digest digest;
    MemberHash members;
    Timestamp timestamp;
    int intermediates;
};

TEST_F(CatalogGenerator, WellFormedCatalogsVerifyWithLibcrypto) {
    const WellFormedCase cases[] = {
        {"sha1 plain", Digest::kSha1, MemberHash::kSha1, Timestamp::kNone, 1},
        {"sha256 plain", Digest::kSha256, MemberHash::kSha256, Timestamp::kNone, 2},
        {"sha1 pkcs9", Digest::kSha1, MemberHash::kSha1, Timestamp::kPkcs9, 1},
        {"sha256 pkcs9", Digest::kSha256, MemberHash::kSha256, Timestamp::kPkcs9, 2},
        {"sha1 rfc3161", Digest::kSha1, MemberHash::kSha256, Timestamp::kRfc3161, 2},
        {"sha256 rfc3161", Digest::kSha256, MemberHash::kSha1, Timestamp::kRfc3161, 1},
    };
    for (const WellFormedCase& c : cases) {
        SCOPED_TRACE(c.name);
        CatalogOptions options;
        options.digest = options.timestampDigest = c.digest;
        options.timestamp = c.timestamp;
        options.timestampTime = 1262304000;
        options.signingTime = 1262300000;
        options.trustList.members = SyntheticMembers(3, c.members);
        Catalog catalog = Build(options, c.intermediates);
        EXPECT_TRUE(Verified(Check(catalog.der), c.timestamp != Timestamp::kNone));
        EXPECT_EQ(catalog.memberHashes.size(), 3u);
    }
}

TEST_F(CatalogGenerator, MemberHashesAreListedInDocumentOrderWithoutMd5) {
    CatalogOptions options;
    options.trustList.members = SyntheticMembers(4, MemberHash::kSha256);
    for (const Member& member : SyntheticMembers(2, MemberHash::kMd5)) options.trustList.members.push_back(member);
    Catalog catalog = Build(options);
    ASSERT_EQ(catalog.memberHashes.size(), 4u);
    EXPECT_TRUE(std::is_sorted(catalog.memberHashes.begin(), catalog.memberHashes.end()));
    size_t previous = 0;
    for (const Bytes& hash : catalog.memberHashes) {
        auto at = std::search(catalog.der.begin() + static_cast<std::ptrdiff_t>(previous), catalog.der.end(), hash.begin(), hash.end());
        ASSERT_NE(at, catalog.der.end());
        previous = static_cast<size_t>(at - catalog.der.begin()) + 1;
    }
}

TEST_F(CatalogGenerator, TheSameKeysGiveTheSameCatalog) {
    CatalogOptions options;
    options.trustList.members = SyntheticMembers(2, MemberHash::kSha1);
    options.timestamp = Timestamp::kRfc3161;
    EXPECT_EQ(Build(options).der, Build(options).der);
}

struct MalformedCase {
    Malformation malformation;
    std::function<bool(const Facts&)> shows;
};

TEST_F(CatalogGenerator, EveryMalformationBreaksWhatItNames) {
    auto onlyContentDigest = [](const Facts& f) { return !f.contentDigest && f.signature && f.chain; };
    auto onlySignature = [](const Facts& f) { return f.contentDigest && !f.signature && f.chain; };
    auto onlyChain = [](const Facts& f) { return f.contentDigest && f.signature && !f.chain; };
    auto onlyCountersignature = [](const Facts& f) {
        return f.contentDigest && f.signature && f.chain && !f.countersignature;
    };
    const MalformedCase cases[] = {
        {Malformation::kNotSignedData, [](const Facts& f) { return !f.signedData; }},
        {Malformation::kUnsigned, [](const Facts& f) { return f.signers == 0 && f.certificates == 0 && f.digestAlgorithms == 0; }},
        {Malformation::kWrongContentType, [](const Facts& f) { return f.signedData && !f.trustListContent; }},
        {Malformation::kNestedIndefiniteLength, [](const Facts& f) { return f.contentDigest && f.signature; }},
        {Malformation::kUnknownDigestAlgorithm, [](const Facts& f) { return f.digestAlgorithms == 1 && f.signature; }},
        {Malformation::kTwoDigestAlgorithms, [](const Facts& f) { return f.digestAlgorithms == 2 && f.signature; }},
        {Malformation::kNoCertificates, [](const Facts& f) { return f.certificates == 0 && !f.signature; }},
        {Malformation::kWithCrls, [](const Facts& f) { return f.crls && f.signature; }},
        {Malformation::kMissingAuthenticatedAttributes, [](const Facts& f) { return f.authenticatedAttributes == 0; }},
        {Malformation::kMissingMessageDigest, onlyContentDigest},
        {Malformation::kBadMessageDigest, onlyContentDigest},
        {Malformation::kOddMessageDigestLength, onlyContentDigest},
        {Malformation::kBadContentDigest, onlyContentDigest},
        {Malformation::kUnknownSignatureAlgorithm, [](const Facts& f) { return !f.rsaEncryption && f.contentDigest; }},
        {Malformation::kBadSignature, onlySignature},
        {Malformation::kBareDigestSignature, onlySignature},
        {Malformation::kExtraSignerInfoField, [](const Facts& f) { return !f.parsed; }},
        {Malformation::kUndecodableCertificate, [](const Facts& f) { return !f.parsed; }},
        {Malformation::kUnknownSigner, [](const Facts& f) { return f.certificates > 0 && !f.signature && !f.chain; }},
        {Malformation::kBrokenChain, onlyChain},
        {Malformation::kBadCertificateSignature, onlyChain},
        {Malformation::kUntrustedRoot, onlyChain},
        {Malformation::kSelfSignedSigner, onlyChain},
        {Malformation::kBadCountersignature, onlyCountersignature},
        {Malformation::kBadCountersignatureDigest, onlyCountersignature},
        {Malformation::kBadTimestampImprint, onlyCountersignature},
        {Malformation::kTimestampWithoutCertificates, onlyCountersignature},
        {Malformation::kUntrustedTimestampRoot, onlyCountersignature},
    };
    ASSERT_EQ(std::size(cases) + 1, MalformationNames().size()) << "a malformation without a case";
    for (Timestamp timestamp : {Timestamp::kPkcs9, Timestamp::kRfc3161}) {
        for (const MalformedCase& c : cases) {
            SCOPED_TRACE(std::string(NameOf(c.malformation)) + (timestamp == Timestamp::kPkcs9 ? " pkcs9" : " rfc3161"));
            EXPECT_EQ(MalformationFromName(NameOf(c.malformation)), c.malformation);
            CatalogOptions options;
            options.trustList.members = SyntheticMembers(2, MemberHash::kSha1);
            options.malformation = c.malformation;
            options.timestamp = timestamp;
            EXPECT_TRUE(c.shows(Check(Build(options).der)));
        }
    }
}

TEST(CatalogGeneratorDer, EncodesLikeLibcrypto) {
    for (const char* dotted : {"1.2.840.113549.1.7.2", "2.999.1234567890123", "1.3.6.1.4.1.311.10.1", "0.9.2342"}) {
        Owned<ASN1_OBJECT, ASN1_OBJECT_free> object(OBJ_txt2obj(dotted, 1));
        unsigned char* der = nullptr;
        int size = i2d_ASN1_OBJECT(object.get(), &der);
        EXPECT_EQ(Oid(dotted), Bytes(der, der + size)) << dotted;
        OPENSSL_free(der);
    }
    for (int64_t value : {0LL, 127LL, 128LL, -1LL, -128LL, -129LL, 1600000000LL, -9000000000LL}) {
        Owned<ASN1_INTEGER, ASN1_INTEGER_free> integer(ASN1_INTEGER_new());
        ASN1_INTEGER_set_int64(integer.get(), value);
        unsigned char* der = nullptr;
        int size = i2d_ASN1_INTEGER(integer.get(), &der);
        EXPECT_EQ(Integer(value), Bytes(der, der + size)) << value;
        OPENSSL_free(der);
    }
    EXPECT_EQ(UnsignedInteger({0x00, 0x00, 0x80}), (Bytes{0x02, 0x02, 0x00, 0x80}));
    EXPECT_EQ(UtcTime(985395600), Tlv(kUniversal, 23, {'0', '1', '0', '3', '2', '4', '0', '1', '0', '0', '0', '0', 'Z'}));
}

// The names, serial and usages the signer checks compare reach the certificates.
TEST(CatalogGeneratorChain, CarriesTheRequestedNamesSerialAndUsages) {
    SetKeyBits(1024);
    ChainOptions options;
    options.intermediates = 2;
    options.leafSubject = "/CN=Publisher/O=Maker, Inc./OU=Signing";
    options.leafSerial = {0x1b, 0x51, 0x90, 0xf7};
    options.leafExtendedKeyUsages = std::vector<std::string>{"1.3.6.1.5.5.7.3.3", "1.3.6.1.4.1.311.10.3.6"};
    options.issuerSubject = "/L=Internet/O=VeriSign, Inc./OU=Publishers CA";
    Chain chain = BuildChain(TestRoot("chain-root", "Chain Root"), options);
    auto text = [](X509_NAME* name) {
        char buffer[256];
        return std::string(X509_NAME_oneline(name, buffer, sizeof buffer));
    };
    X509* leaf = chain.leaf.cert.get();
    EXPECT_EQ(text(X509_get_subject_name(leaf)), "/CN=Publisher/O=Maker, Inc./OU=Signing");
    EXPECT_EQ(text(X509_get_issuer_name(leaf)), "/L=Internet/O=VeriSign, Inc./OU=Publishers CA");
    EXPECT_EQ(ASN1_INTEGER_get(X509_get0_serialNumber(leaf)), 0x1b5190f7);
    EXPECT_EQ(X509_get_extended_key_usage(leaf), static_cast<uint32_t>(XKU_CODE_SIGN));
    ASSERT_EQ(chain.intermediates.size(), 2u);
    EXPECT_EQ(X509_check_issued(chain.intermediates[0].cert.get(), chain.intermediates[1].cert.get()), X509_V_OK);
    EXPECT_EQ(chain.Embedded().size(), 3u);
    EXPECT_EQ(X509_check_ca(chain.intermediates[1].cert.get()), 1);
    EXPECT_EQ(X509_check_ca(leaf), 0);
}

// The time the countersignature or token states is the one asked for.
TEST_F(CatalogGenerator, CountersignaturesCarryTheirTime) {
    for (Timestamp timestamp : {Timestamp::kPkcs9, Timestamp::kRfc3161}) {
        CatalogOptions options;
        options.timestamp = timestamp;
        options.timestampTime = 985305600;  // 2001-03-23 00:00:00
        Bytes der = Build(options).der;
        Bytes expected = timestamp == Timestamp::kPkcs9 ? UtcTime(985305600) : GeneralizedTime(985305600);
        EXPECT_NE(std::search(der.begin(), der.end(), expected.begin(), expected.end()), der.end());
    }
}

struct CommandLineCase {
    std::vector<std::string> arguments;
    bool parses;
};

TEST(CatalogGeneratorCommandLine, ParsesWhatTheUsageNamesAndRefusesTheRest) {
    const CommandLineCase cases[] = {
        {{"-o", "x.cat", "--members", "5", "--hash", "sha1", "--timestamp", "rfc3161", "--malform", "bad-signature"}, true},
        {{"-o", "x.cat", "--signing-time", "20010323000000", "--signer-serial", "1b5190f73724399c9254cd424637996a"}, true},
        {{"-o", "x.cat", "--hash", "md5"}, false},
        {{"-o", "x.cat", "--malform", "no-such-thing"}, false},
        {{"-o", "x.cat", "--intermediates", "3"}, false},
        {{"-o", "x.cat", "--root-key", "k.pem"}, false},
        {{"--members", "2"}, false},
        {{"-o"}, false},
    };
    for (const CommandLineCase& c : cases) {
        CommandLine line;
        std::string error;
        EXPECT_EQ(ParseCommandLine(c.arguments, line, error), c.parses) << c.arguments.back() << ": " << error;
    }
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"-o", "x.cat", "--members", "5", "--signing-time", "20010323000000"}, line, error));
    EXPECT_EQ(line.catalog.trustList.members.size(), 5u);
    EXPECT_EQ(line.catalog.signingTime, 985305600);
}

// osslsigncode signs the generator's unsigned trust list under the same test
// PKI: a catalog from a second, independent producer.
TEST_F(CatalogGenerator, OsslsigncodeSignsTheGeneratorsTrustList) {
    if (std::system("osslsigncode --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "osslsigncode is not installed";
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("catgen-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    CatalogOptions options;
    options.trustList.members = SyntheticMembers(3, MemberHash::kSha256);
    options.malformation = Malformation::kUnsigned;
    ASSERT_TRUE(WriteCatalog(dir / "unsigned.cat", Build(options).der));
    ASSERT_TRUE(WritePki(dir.string(), signer_, timeStamper_));
    std::string command = std::string(KORVA_OSSLSIGNCODE_SIGN) + " " + dir.string() + " " + (dir / "unsigned.cat").string() +
                          " " + (dir / "signed.cat").string() + " --time 1262304000 --timestamp";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(dir / "signed.cat", std::ios::binary);
    Bytes der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(Verified(Check(der), true));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace korva::catgen
