// Real catalogs cut short and with single octets changed: the callback never
// crashes (this also runs under the sanitizers), and every mutant it accepts
// also verifies with libcrypto: content digest, signer signature and chain.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstdlib>
#include <memory>
#include <random>

#include "catalog/RootTable.h"
#include "tests/catalog/CallbackTestSupport.h"

namespace korva::catalog_test {
namespace {

using TarnVerifyTrustDriver::CMicrosoftCatalogCallback;

template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, std::integral_constant<decltype(Free), Free>>;

// Random mutations per catalog. A mutant that still verifies costs a whole
// signature check, so the suite runs 500 (100 under the sanitizers);
// KORVA_CALLBACK_MUTATIONS=2000 gives the full sweep.
int MutationCount() {
    if (const char* text = std::getenv("KORVA_CALLBACK_MUTATIONS")) return std::atoi(text);
#ifdef KORVA_SANITIZED
    return 100;
#else
    return 500;
#endif
}

Bytes DerOf(const uint8_t* data, size_t size) { return Bytes(data, data + size); }

// libcrypto's view: the trust list's content octets digested with the
// SignedData's algorithm equal the message digest attribute, the signature
// over the attributes opens with the signer's key, and the signer chains up to
// a code-signing root of the table.
bool LibcryptoVerifies(const Bytes& catalog) {
    const unsigned char* cursor = catalog.data();
    Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &cursor, static_cast<long>(catalog.size())));
    if (!p7 || !PKCS7_type_is_signed(p7.get())) return false;
    PKCS7_SIGNED* sd = p7->d.sign;
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7.get());
    if (signers == nullptr || sk_PKCS7_SIGNER_INFO_num(signers) < 1 || sk_X509_ALGOR_num(sd->md_algs) < 1) return false;
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(signers, sk_PKCS7_SIGNER_INFO_num(signers) - 1);
    const EVP_MD* md = EVP_get_digestbyobj(sk_X509_ALGOR_value(sd->md_algs, 0)->algorithm);
    ASN1_TYPE* content = sd->contents->d.other;
    if (md == nullptr || content == nullptr || content->type != V_ASN1_SEQUENCE) return false;
    // The trust list without its own SEQUENCE header.
    const unsigned char* list = content->value.sequence->data;
    long length = 0;
    int tag = 0, cls = 0;
    const unsigned char* inner = list;
    if (ASN1_get_object(&inner, &length, &tag, &cls, content->value.sequence->length) & 0x80) return false;
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int hashSize = 0;
    ASN1_OCTET_STRING* digest = PKCS7_digest_from_attributes(si->auth_attr);
    if (digest == nullptr || EVP_Digest(inner, length, hash, &hashSize, md, nullptr) != 1 ||
        DerOf(hash, hashSize) != DerOf(digest->data, digest->length)) {
        return false;
    }
    X509* signer = X509_find_by_issuer_and_serial(sd->cert, si->issuer_and_serial->issuer, si->issuer_and_serial->serial);
    unsigned char* attributes = nullptr;
    int attributesSize = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(si->auth_attr), &attributes,
                                       ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    Owned<EVP_MD_CTX, EVP_MD_CTX_free> verify(EVP_MD_CTX_new());
    bool signatureOk = signer != nullptr && attributesSize > 0 &&
                       EVP_DigestVerifyInit(verify.get(), nullptr, md, nullptr, X509_get0_pubkey(signer)) == 1 &&
                       EVP_DigestVerify(verify.get(), si->enc_digest->data, si->enc_digest->length, attributes,
                                        attributesSize) == 1;
    OPENSSL_free(attributes);
    if (!signatureOk) return false;
    Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
    for (const TarnVerifyTrustDriver::RootRow& row : TarnVerifyTrustDriver::RootTable()) {
        if (TarnVerifyTrustDriver::RootGroup(row.id) != 1) continue;
        const unsigned char* der = row.der;
        Owned<X509, X509_free> root(d2i_X509(nullptr, &der, static_cast<long>(row.length)));
        if (root) X509_STORE_add_cert(store.get(), root.get());
    }
    Owned<X509_STORE_CTX, X509_STORE_CTX_free> context(X509_STORE_CTX_new());
    if (X509_STORE_CTX_init(context.get(), store.get(), signer, sd->cert) != 1) return false;
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_NO_CHECK_TIME | X509_V_FLAG_IGNORE_CRITICAL);
    X509_VERIFY_PARAM_set_auth_level(param, 0);
    return X509_verify_cert(context.get()) == 1;
}

struct MutatedCatalog {
    const char* file;
    bool accepted;  // the unchanged catalog
};

TEST(CallbackMutationTest, TruncatedAndMutatedCatalogsNeverCrashAndAcceptedOnesVerify) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    const MutatedCatalog cases[] = {
        {"zerotier_zttap300_x86.cat", true},      // WHQL, RFC 3161 token
        {"missionplanner_stmcdc.cat", true},      // vendor, PKCS #9 countersignature
        {"usbipd_VBoxUSB_20220814.cat", true},    // SHA-256 signer
        {"zerotier_zttap100_x86.cat", false},     // unsigned
        {"espressif_esp-prog.cat", false},        // self-signed signer
    };
    RootAnchors anchors;
    std::mt19937 random(20010324);
    const int mutations = MutationCount();
    for (const MutatedCatalog& c : cases) {
        SCOPED_TRACE(c.file);
        Bytes original = ReadFile(std::filesystem::path(KORVA_SHARED_DIR) / "realcats" / c.file);
        auto accepts = [&](const Bytes& bytes) {
            CMicrosoftCatalogCallback callback(anchors.set());
            return Outcome(WalkCatalog(bytes, callback), callback).accepted;
        };
        ASSERT_EQ(accepts(original), c.accepted);
        if (c.accepted) ASSERT_TRUE(LibcryptoVerifies(original));
        for (size_t size = 0; size < original.size(); ++size) {
            EXPECT_FALSE(accepts(Bytes(original.begin(), original.begin() + size))) << size;
        }
        int acceptedMutants = 0;
        for (int i = 0; i < mutations; ++i) {
            Bytes mutant = original;
            size_t at = random() % mutant.size();
            mutant[at] = static_cast<uint8_t>(mutant[at] ^ (1 + random() % 255));
            if (!accepts(mutant)) continue;
            ++acceptedMutants;
            EXPECT_TRUE(LibcryptoVerifies(mutant)) << "octet " << at;
        }
        if (!c.accepted) EXPECT_EQ(acceptedMutants, 0);
    }
}

}  // namespace
}  // namespace korva::catalog_test
