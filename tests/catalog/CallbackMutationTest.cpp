// Real catalogs cut short, with single octets changed and with structure-aware
// changes: the callback never crashes (this also runs under the sanitizers),
// and every mutant it accepts also verifies with libcrypto: content digest,
// signed attributes, signer signature and chain to the same root.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>

#include "catalog/RootTable.h"
#include "tests/catalog/CallbackTestSupport.h"
#include "tests/catalog/DerMutator.h"

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

// Structure-aware mutations per accepted real catalog: 30 (10 under the
// sanitizers); KORVA_CALLBACK_MUTATIONS sets this count too.
int StructuredMutationCount() {
    if (const char* text = std::getenv("KORVA_CALLBACK_MUTATIONS")) return std::atoi(text);
#ifdef KORVA_SANITIZED
    return 10;
#else
    return 30;
#endif
}

// The table's old roots are trust anchors whatever their own extensions
// say; libcrypto would hold their CA marks against them.
int TolerateAnchorMarks(int ok, X509_STORE_CTX* context) {
    if (ok == 1) return ok;
    int error = X509_STORE_CTX_get_error(context);
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context);
    bool anchor = chain != nullptr && X509_STORE_CTX_get_error_depth(context) == sk_X509_num(chain) - 1;
    return anchor && (error == X509_V_ERR_INVALID_CA || error == X509_V_ERR_KEYUSAGE_NO_CERTSIGN ||
                      error == X509_V_ERR_INVALID_PURPOSE) ? 1 : 0;
}

// libcrypto's view: the trust list's content octets digested with the
// SignedData's algorithm equal the message digest attribute, the content type
// attribute names the signed content's type, the signature over the
// attributes opens with the signer's key, and the signer chains up to a
// code-signing root of the table. That root's DER, or nothing.
std::optional<Bytes> LibcryptoRoot(const Bytes& catalog) {
    const unsigned char* cursor = catalog.data();
    Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &cursor, static_cast<long>(catalog.size())));
    if (!p7 || !PKCS7_type_is_signed(p7.get())) return std::nullopt;
    PKCS7_SIGNED* sd = p7->d.sign;
    STACK_OF(PKCS7_SIGNER_INFO)* signers = PKCS7_get_signer_info(p7.get());
    if (signers == nullptr || sk_PKCS7_SIGNER_INFO_num(signers) < 1 || sk_X509_ALGOR_num(sd->md_algs) < 1) return std::nullopt;
    PKCS7_SIGNER_INFO* si = sk_PKCS7_SIGNER_INFO_value(signers, sk_PKCS7_SIGNER_INFO_num(signers) - 1);
    const EVP_MD* md = EVP_get_digestbyobj(sk_X509_ALGOR_value(sd->md_algs, 0)->algorithm);
    ASN1_TYPE* content = sd->contents->d.other;
    if (md == nullptr || content == nullptr || content->type != V_ASN1_SEQUENCE) return std::nullopt;
    // The trust list without its own SEQUENCE header.
    const unsigned char* list = content->value.sequence->data;
    long length = 0;
    int tag = 0, cls = 0;
    const unsigned char* inner = list;
    if (ASN1_get_object(&inner, &length, &tag, &cls, content->value.sequence->length) & 0x80) return std::nullopt;
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int hashSize = 0;
    ASN1_TYPE* contentType = PKCS7_get_signed_attribute(si, NID_pkcs9_contentType);
    if (contentType == nullptr || contentType->type != V_ASN1_OBJECT ||
        OBJ_cmp(contentType->value.object, sd->contents->type) != 0) {
        return std::nullopt;
    }
    ASN1_OCTET_STRING* digest = PKCS7_digest_from_attributes(si->auth_attr);
    if (digest == nullptr || EVP_Digest(inner, length, hash, &hashSize, md, nullptr) != 1 ||
        DerOf(hash, hashSize) != DerOf(digest->data, digest->length)) {
        return std::nullopt;
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
    if (!signatureOk) return std::nullopt;
    Owned<X509_STORE, X509_STORE_free> store(X509_STORE_new());
    for (const TarnVerifyTrustDriver::RootRow& row : TarnVerifyTrustDriver::RootTable()) {
        if (TarnVerifyTrustDriver::RootGroup(row.id) != 1) continue;
        const unsigned char* der = row.der;
        Owned<X509, X509_free> root(d2i_X509(nullptr, &der, static_cast<long>(row.length)));
        if (root) X509_STORE_add_cert(store.get(), root.get());
    }
    Owned<X509_STORE_CTX, X509_STORE_CTX_free> context(X509_STORE_CTX_new());
    if (X509_STORE_CTX_init(context.get(), store.get(), signer, sd->cert) != 1) return std::nullopt;
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context.get());
    X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_NO_CHECK_TIME | X509_V_FLAG_IGNORE_CRITICAL);
    X509_VERIFY_PARAM_set_auth_level(param, 0);
    X509_STORE_CTX_set_verify_cb(context.get(), TolerateAnchorMarks);
    if (X509_verify_cert(context.get()) != 1) return std::nullopt;
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    unsigned char* rootDer = nullptr;
    int rootSize = i2d_X509(sk_X509_value(chain, sk_X509_num(chain) - 1), &rootDer);
    if (rootSize <= 0) return std::nullopt;
    Bytes root(rootDer, rootDer + rootSize);
    OPENSSL_free(rootDer);
    return root;
}

// One DER element read with libcrypto: its tag, class and content.
struct Element {
    int tag = 0;
    int tagClass = 0;
    const unsigned char* content = nullptr;
    long length = 0;
};

// The elements of `length` octets at `data`, in order; stops at the first
// one libcrypto cannot read.
std::vector<Element> Elements(const unsigned char* data, long length) {
    std::vector<Element> elements;
    const unsigned char* cursor = data;
    while (cursor < data + length) {
        Element element;
        const unsigned char* start = cursor;
        if (ASN1_get_object(&cursor, &element.length, &element.tag, &element.tagClass, length - (cursor - data)) & 0x80) {
            break;
        }
        element.content = cursor;
        cursor += element.length;
        if (cursor <= start) break;
        elements.push_back(element);
    }
    return elements;
}

bool IsOid(const Element& element, std::initializer_list<uint8_t> oid) {
    return element.tag == V_ASN1_OBJECT && Bytes(element.content, element.content + element.length) == Bytes(oid);
}

// libcrypto's reading of the signed trust list: for each subject of
// trustedSubjects, the digest of every indirect-data attribute whose
// algorithm is SHA-1 or SHA-256, in order. Nothing outside the content the
// message digest covers is read.
std::vector<std::string> LibcryptoMembers(const Bytes& catalog) {
    const unsigned char* cursor = catalog.data();
    Owned<PKCS7, PKCS7_free> p7(d2i_PKCS7(nullptr, &cursor, static_cast<long>(catalog.size())));
    if (!p7 || !PKCS7_type_is_signed(p7.get())) return {};
    ASN1_TYPE* content = p7->d.sign->contents->d.other;
    if (content == nullptr || content->type != V_ASN1_SEQUENCE) return {};
    std::vector<Element> list = Elements(content->value.sequence->data, content->value.sequence->length);
    if (list.size() != 1) return {};
    std::vector<std::string> members;
    for (const Element& field : Elements(list[0].content, list[0].length)) {
        // trustedSubjects: the SEQUENCE OF subjects { identifier, attributes }.
        std::vector<Element> subjects = Elements(field.content, field.length);
        if (field.tag != V_ASN1_SEQUENCE || subjects.empty() || subjects[0].tag != V_ASN1_SEQUENCE) continue;
        for (const Element& subject : subjects) {
            std::vector<Element> parts = Elements(subject.content, subject.length);
            if (parts.size() < 2 || parts[0].tag != V_ASN1_OCTET_STRING || parts[1].tag != V_ASN1_SET) continue;
            for (const Element& attribute : Elements(parts[1].content, parts[1].length)) {
                std::vector<Element> typeAndValues = Elements(attribute.content, attribute.length);
                if (typeAndValues.size() != 2 ||
                    !IsOid(typeAndValues[0], {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04})) {
                    continue;
                }
                for (const Element& value : Elements(typeAndValues[1].content, typeAndValues[1].length)) {
                    // SpcIndirectDataContent { data, DigestInfo { algorithm, digest } }
                    std::vector<Element> indirect = Elements(value.content, value.length);
                    if (indirect.size() != 2) continue;
                    std::vector<Element> digestInfo = Elements(indirect[1].content, indirect[1].length);
                    if (digestInfo.size() != 2) continue;
                    std::vector<Element> algorithm = Elements(digestInfo[0].content, digestInfo[0].length);
                    bool sha1 = !algorithm.empty() && IsOid(algorithm[0], {0x2B, 0x0E, 0x03, 0x02, 0x1A}) &&
                                digestInfo[1].length == 20;
                    bool sha256 = !algorithm.empty() &&
                                  IsOid(algorithm[0], {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01}) &&
                                  digestInfo[1].length == 32;
                    if (digestInfo[1].tag == V_ASN1_OCTET_STRING && (sha1 || sha256)) {
                        members.push_back(ToHex(digestInfo[1].content, static_cast<size_t>(digestInfo[1].length)));
                    }
                }
            }
        }
    }
    return members;
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
        if (c.accepted) {
            ASSERT_TRUE(LibcryptoRoot(original));
        }
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
            EXPECT_TRUE(LibcryptoRoot(mutant)) << "octet " << at;
        }
        if (!c.accepted) {
            EXPECT_EQ(acceptedMutants, 0);
        }
    }
}

// Every accepted real catalog, mutated every way DerMutator knows, hashes
// written into its unsigned places among them: an accepted mutant must
// verify with libcrypto up to the same root as the original and yield
// exactly the members libcrypto reads from the signed trust list.
TEST(CallbackMutationTest, StructuredMutantsOfEveryAcceptedCatalogVerifyWhenAccepted) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    const std::map<std::string, ExpectedCatalog> expected = ExpectedRealCatalogs();
    ASSERT_FALSE(expected.empty());
    RootAnchors anchors;
    std::mt19937 random(19970110);
    const int mutations = StructuredMutationCount();
    constexpr size_t kKinds = static_cast<size_t>(Mutation::kCount);
    std::array<int, kKinds> made{}, accepted{}, agreeing{};
    int checked = 0, unstructured = 0;
    for (const std::filesystem::path& path : catalogs) {
        auto found = expected.find(path.filename().string());
        if (found == expected.end() || !found->second.accepted) continue;
        SCOPED_TRACE(path.filename().string());
        const Bytes original = ReadFile(path);
        auto outcome = [&](const Bytes& bytes) {
            TarnVerifyTrustDriver::CMicrosoftCatalogCallback callback(anchors.set());
            return Outcome(WalkCatalog(bytes, callback), callback);
        };
        const CallbackOutcome base = outcome(original);
        ASSERT_TRUE(base.accepted);
        const std::optional<Bytes> root = LibcryptoRoot(original);
        ASSERT_TRUE(root) << "libcrypto does not verify the unchanged catalog";
        ASSERT_EQ(base.members, LibcryptoMembers(original));
        const DerMutator mutator(original);
        ++checked;
        if (!mutator.structured()) ++unstructured;
        for (int i = 0; i < mutations; ++i) {
            const auto kind = static_cast<Mutation>(random() % kKinds);
            const Bytes mutant = mutator.Mutate(kind, random);
            const size_t k = static_cast<size_t>(kind);
            ++made[k];
            const CallbackOutcome result = outcome(mutant);
            if (!result.accepted) continue;
            ++accepted[k];
            const std::optional<Bytes> mutantRoot = LibcryptoRoot(mutant);
            const bool agrees = mutantRoot && *mutantRoot == *root && result.members == LibcryptoMembers(mutant);
            EXPECT_TRUE(agrees) << NameOf(kind) << " mutant " << i << ": libcrypto "
                                << (!mutantRoot ? "refuses it" : *mutantRoot != *root ? "chains it to another root"
                                                                                       : "agrees, but the members differ");
            if (!agrees && std::getenv("KORVA_MUTANT_DIR") != nullptr) {
                std::ofstream(std::filesystem::path(std::getenv("KORVA_MUTANT_DIR")) /
                                  (path.filename().string() + "." + std::to_string(i)),
                              std::ios::binary)
                    .write(reinterpret_cast<const char*>(mutant.data()), static_cast<std::streamsize>(mutant.size()));
            }
            agreeing[k] += agrees ? 1 : 0;
        }
    }
    EXPECT_GT(checked, 0);
    std::cout << "[ mutants  ] " << checked << " accepted catalogs (" << unstructured << " without structure), "
              << mutations << " mutants each\n";
    for (size_t k = 0; k < kKinds; ++k) {
        std::cout << "[ mutants  ] " << NameOf(static_cast<Mutation>(k)) << ": " << made[k] << " made, " << accepted[k]
                  << " accepted, " << agreeing[k] << " agree with libcrypto\n";
    }
}

}  // namespace
}  // namespace korva::catalog_test
