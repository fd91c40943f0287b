#include "tools/peer/PeerVerifier.h"

#include <algorithm>
#include <cstring>

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace korva::peer {

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Pkcs7Ptr = std::unique_ptr<PKCS7, Deleter<PKCS7, PKCS7_free>>;
using SignerInfoPtr = std::unique_ptr<PKCS7_SIGNER_INFO, Deleter<PKCS7_SIGNER_INFO, PKCS7_SIGNER_INFO_free>>;
using TstInfoPtr = std::unique_ptr<TS_TST_INFO, Deleter<TS_TST_INFO, TS_TST_INFO_free>>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX, X509_STORE_CTX_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;

// Content octets of the OIDs looked for while walking the trust list.
constexpr uint8_t kIndirectDataOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
constexpr uint8_t kSha1Oid[] = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
constexpr uint8_t kSha256Oid[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
constexpr const char* kTrustListOid = "1.3.6.1.4.1.311.10.1";
constexpr const char* kRfc3161AttributeOid = "1.3.6.1.4.1.311.3.3.1";

// One DER element read with libcrypto's header decoder.
struct Element {
    int tag = 0;
    int tagClass = 0;
    const unsigned char* content = nullptr;
    long length = 0;
};

// Reads the element at `cursor` and moves past it; false on a bad or
// indefinite header.
bool Next(const unsigned char*& cursor, const unsigned char* end, Element& element) {
    if (cursor >= end) return false;
    const unsigned char* p = cursor;
    int result = ASN1_get_object(&p, &element.length, &element.tag, &element.tagClass, end - cursor);
    if ((result & 0x80) != 0 || result == (V_ASN1_CONSTRUCTED | 1)) return false;
    element.content = p;
    cursor = p + element.length;
    return true;
}

bool Is(const Element& element, const uint8_t* oid, size_t size) {
    return element.tag == V_ASN1_OBJECT && static_cast<size_t>(element.length) == size &&
           std::memcmp(element.content, oid, size) == 0;
}

// The hash of one member's indirect-data value: SpcIndirectDataContent
// { data, DigestInfo { AlgorithmIdentifier, OCTET STRING } }.
void IndirectDataHash(const Element& values, std::vector<Bytes>& hashes) {
    const unsigned char* v = values.content;
    const unsigned char* valuesEnd = v + values.length;
    Element indirect, data, digestInfo, algorithm, oid, hash;
    while (Next(v, valuesEnd, indirect)) {  // every value of the attribute
        const unsigned char* p = indirect.content;
        const unsigned char* end = p + indirect.length;
        if (!Next(p, end, data) || !Next(p, end, digestInfo)) continue;
        p = digestInfo.content;
        end = p + digestInfo.length;
        if (!Next(p, end, algorithm) || !Next(p, end, hash) || hash.tag != V_ASN1_OCTET_STRING) continue;
        const unsigned char* a = algorithm.content;
        if (!Next(a, algorithm.content + algorithm.length, oid)) continue;
        if ((Is(oid, kSha1Oid, sizeof kSha1Oid) && hash.length == 20) ||
            (Is(oid, kSha256Oid, sizeof kSha256Oid) && hash.length == 32)) {
            hashes.emplace_back(hash.content, hash.content + hash.length);
        }
    }
}

// The member hashes of the trust list's subjects, in document order.
bool MemberHashes(const unsigned char* list, long size, std::vector<Bytes>& hashes) {
    const unsigned char* p = list;
    const unsigned char* end = list + size;
    Element element;
    bool seenTime = false;
    int sequencesAfterTime = 0;
    while (p < end) {
        if (!Next(p, end, element)) return false;
        if (element.tagClass != V_ASN1_UNIVERSAL) continue;
        if (element.tag == V_ASN1_UTCTIME || element.tag == V_ASN1_GENERALIZEDTIME) seenTime = true;
        // After the time: the subject algorithm, then the subjects.
        if (!seenTime || element.tag != V_ASN1_SEQUENCE || ++sequencesAfterTime != 2) continue;
        const unsigned char* s = element.content;
        const unsigned char* subjectsEnd = s + element.length;
        Element subject;
        while (s < subjectsEnd) {
            if (!Next(s, subjectsEnd, subject)) return false;
            const unsigned char* q = subject.content;
            const unsigned char* subjectEnd = q + subject.length;
            Element identifier, attributes;
            if (!Next(q, subjectEnd, identifier)) return false;
            if (q == subjectEnd) continue;
            if (!Next(q, subjectEnd, attributes)) return false;
            const unsigned char* r = attributes.content;
            const unsigned char* attributesEnd = r + attributes.length;
            Element attribute, type, values;
            while (r < attributesEnd) {
                if (!Next(r, attributesEnd, attribute)) return false;
                const unsigned char* t = attribute.content;
                const unsigned char* attributeEnd = t + attribute.length;
                if (!Next(t, attributeEnd, type) || !Next(t, attributeEnd, values)) return false;
                if (Is(type, kIndirectDataOid, sizeof kIndirectDataOid)) IndirectDataHash(values, hashes);
            }
        }
    }
    return true;
}

bool Digest(const EVP_MD* md, const unsigned char* data, size_t size, unsigned char* out, unsigned int& length) {
    return EVP_Digest(data, size, out, &length, md, nullptr) == 1;
}

// The signed-attributes checks every signer shares, each on its own: the
// message digest attribute equals the digest of `content`, the signer
// certificate among `certificates` signed the attributes (as a SET OF) with
// RSA, and its chain ends in `store`.
struct SignerFacts {
    bool shape = false;  // SHA-1 or SHA-256, an RSA signature, the content type asked for
    bool contentDigest = false;
    bool signature = false;
    bool chain = false;
    Bytes root;  // the chain's last certificate
    bool All() const { return shape && contentDigest && signature && chain; }
};

SignerFacts CheckSigner(PKCS7_SIGNER_INFO* signer, STACK_OF(X509)* certificates, const unsigned char* content,
                        size_t contentSize, X509_STORE* store, const ASN1_OBJECT* contentType) {
    SignerFacts facts;
    if (signer == nullptr || signer->auth_attr == nullptr || sk_X509_ATTRIBUTE_num(signer->auth_attr) == 0) {
        return facts;
    }
    const EVP_MD* md = EVP_get_digestbyobj(signer->digest_alg->algorithm);
    int md_nid = md != nullptr ? EVP_MD_type(md) : NID_undef;
    int signature = OBJ_obj2nid(signer->digest_enc_alg->algorithm);
    facts.shape = (md_nid == NID_sha1 || md_nid == NID_sha256) &&
                  (signature == NID_rsaEncryption || signature == NID_sha1WithRSAEncryption ||
                   signature == NID_sha256WithRSAEncryption);
    if (contentType != nullptr) {
        ASN1_TYPE* type = PKCS7_get_signed_attribute(signer, NID_pkcs9_contentType);
        facts.shape = facts.shape && type != nullptr && type->type == V_ASN1_OBJECT &&
                      OBJ_cmp(type->value.object, contentType) == 0;
    }
    ASN1_TYPE* messageDigest = PKCS7_get_signed_attribute(signer, NID_pkcs9_messageDigest);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    facts.contentDigest = md != nullptr && messageDigest != nullptr && messageDigest->type == V_ASN1_OCTET_STRING &&
                          Digest(md, content, contentSize, digest, digestLength) &&
                          static_cast<unsigned int>(ASN1_STRING_length(messageDigest->value.octet_string)) == digestLength &&
                          std::memcmp(ASN1_STRING_get0_data(messageDigest->value.octet_string), digest, digestLength) == 0;
    X509* certificate = X509_find_by_issuer_and_serial(certificates, signer->issuer_and_serial->issuer,
                                                       signer->issuer_and_serial->serial);
    if (certificate == nullptr) return facts;

    unsigned char* attributes = nullptr;
    int attributesSize = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE*>(signer->auth_attr), &attributes,
                                       ASN1_ITEM_rptr(PKCS7_ATTR_VERIFY));
    MdCtxPtr context(EVP_MD_CTX_new());
    facts.signature = md != nullptr && attributesSize > 0 && context != nullptr &&
                      EVP_DigestVerifyInit(context.get(), nullptr, md, nullptr, X509_get0_pubkey(certificate)) == 1 &&
                      EVP_DigestVerify(context.get(), ASN1_STRING_get0_data(signer->enc_digest),
                                       static_cast<size_t>(ASN1_STRING_length(signer->enc_digest)), attributes,
                                       static_cast<size_t>(attributesSize)) == 1;
    OPENSSL_free(attributes);

    StoreCtxPtr chain(X509_STORE_CTX_new());
    facts.chain = chain != nullptr && X509_STORE_CTX_init(chain.get(), store, certificate, certificates) == 1 &&
                  X509_verify_cert(chain.get()) == 1;
    if (facts.chain) {
        STACK_OF(X509)* path = X509_STORE_CTX_get0_chain(chain.get());
        unsigned char* der = nullptr;
        int size = i2d_X509(sk_X509_value(path, sk_X509_num(path) - 1), &der);
        if (size > 0) facts.root.assign(der, der + size);
        OPENSSL_free(der);
    }
    return facts;
}

bool VerifySigner(PKCS7_SIGNER_INFO* signer, STACK_OF(X509)* certificates, const unsigned char* content,
                  size_t contentSize, X509_STORE* store, const ASN1_OBJECT* contentType) {
    return CheckSigner(signer, certificates, content, contentSize, store, contentType).All();
}

// The countersignature the ASN1_TYPE holds, over the signer's encryptedDigest.
bool VerifyCountersignature(const ASN1_TYPE* value, const ASN1_OCTET_STRING* encryptedDigest,
                            STACK_OF(X509)* certificates, X509_STORE* store) {
    if (value == nullptr || value->type != V_ASN1_SEQUENCE) return false;
    const unsigned char* p = value->value.sequence->data;
    SignerInfoPtr signer(d2i_PKCS7_SIGNER_INFO(nullptr, &p, value->value.sequence->length));
    return signer != nullptr && VerifySigner(signer.get(), certificates, ASN1_STRING_get0_data(encryptedDigest),
                                             static_cast<size_t>(ASN1_STRING_length(encryptedDigest)), store, nullptr);
}

// An RFC 3161 token: its imprint is the digest of the signer's
// encryptedDigest, and its own signer verifies over the TSTInfo.
bool VerifyTimestampToken(const ASN1_TYPE* value, const ASN1_OCTET_STRING* encryptedDigest, X509_STORE* store) {
    if (value == nullptr || value->type != V_ASN1_SEQUENCE) return false;
    const unsigned char* p = value->value.sequence->data;
    Pkcs7Ptr token(d2i_PKCS7(nullptr, &p, value->value.sequence->length));
    // A signed type with its content left out has no SignedData.
    if (token == nullptr || !PKCS7_type_is_signed(token.get()) || token->d.sign == nullptr) return false;
    PKCS7_SIGNED* signedData = token->d.sign;
    PKCS7* contents = signedData->contents;
    if (contents == nullptr || OBJ_obj2nid(contents->type) != NID_id_smime_ct_TSTInfo ||
        contents->d.other == nullptr || contents->d.other->type != V_ASN1_OCTET_STRING) {
        return false;
    }
    const ASN1_OCTET_STRING* tstInfo = contents->d.other->value.octet_string;
    const unsigned char* q = ASN1_STRING_get0_data(tstInfo);
    TstInfoPtr info(d2i_TS_TST_INFO(nullptr, &q, ASN1_STRING_length(tstInfo)));
    if (info == nullptr) return false;
    TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info.get());
    const EVP_MD* md = EVP_get_digestbyobj(TS_MSG_IMPRINT_get_algo(imprint)->algorithm);
    const ASN1_OCTET_STRING* message = TS_MSG_IMPRINT_get_msg(imprint);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (md == nullptr ||
        !Digest(md, ASN1_STRING_get0_data(encryptedDigest), static_cast<size_t>(ASN1_STRING_length(encryptedDigest)),
                digest, length) ||
        static_cast<unsigned int>(ASN1_STRING_length(message)) != length ||
        std::memcmp(ASN1_STRING_get0_data(message), digest, length) != 0) {
        return false;
    }
    if (sk_PKCS7_SIGNER_INFO_num(signedData->signer_info) != 1) return false;
    return VerifySigner(sk_PKCS7_SIGNER_INFO_value(signedData->signer_info, 0), signedData->cert,
                        ASN1_STRING_get0_data(tstInfo), static_cast<size_t>(ASN1_STRING_length(tstInfo)), store,
                        contents->type);
}

// A root is a trust anchor whatever its own extensions say.
int TolerateAnchorMarks(int ok, X509_STORE_CTX* context) {
    if (ok == 1) return ok;
    int error = X509_STORE_CTX_get_error(context);
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context);
    bool anchor = chain != nullptr && X509_STORE_CTX_get_error_depth(context) == sk_X509_num(chain) - 1;
    return anchor && (error == X509_V_ERR_INVALID_CA || error == X509_V_ERR_KEYUSAGE_NO_CERTSIGN ||
                      error == X509_V_ERR_INVALID_PURPOSE) ? 1 : 0;
}

X509_STORE* StoreOf(const std::vector<Bytes>& roots) {
    X509_STORE* store = X509_STORE_new();
    for (const Bytes& der : roots) {
        const unsigned char* p = der.data();
        X509* root = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
        if (root != nullptr) X509_STORE_add_cert(store, root);
        X509_free(root);
    }
    return store;
}

}  // namespace

struct PeerVerifier::Stores {
    X509_STORE* codeSigning = nullptr;
    X509_STORE* timeStamping = nullptr;
    ASN1_OBJECT* trustList = nullptr;
    ASN1_OBJECT* rfc3161Attribute = nullptr;
    ~Stores() {
        X509_STORE_free(codeSigning);
        X509_STORE_free(timeStamping);
        ASN1_OBJECT_free(trustList);
        ASN1_OBJECT_free(rfc3161Attribute);
    }
};

PeerVerifier::PeerVerifier(const std::vector<Bytes>& codeSigningRoots, const std::vector<Bytes>& timeStampingRoots,
                           bool anchorsAsGiven)
    : stores_(std::make_unique<Stores>()) {
    stores_->codeSigning = StoreOf(codeSigningRoots);
    if (anchorsAsGiven) {
        X509_STORE_set_flags(stores_->codeSigning, X509_V_FLAG_NO_CHECK_TIME | X509_V_FLAG_IGNORE_CRITICAL);
        X509_VERIFY_PARAM_set_auth_level(X509_STORE_get0_param(stores_->codeSigning), 0);
        X509_STORE_set_verify_cb(stores_->codeSigning, TolerateAnchorMarks);
    }
    stores_->timeStamping = StoreOf(timeStampingRoots);
    stores_->trustList = OBJ_txt2obj(kTrustListOid, 1);
    stores_->rfc3161Attribute = OBJ_txt2obj(kRfc3161AttributeOid, 1);
}

PeerVerifier::~PeerVerifier() = default;

Facts PeerVerifier::Inspect(const Bytes& catalog) const {
    Facts facts;
    const unsigned char* p = catalog.data();
    Pkcs7Ptr p7(d2i_PKCS7(nullptr, &p, static_cast<long>(catalog.size())));
    facts.parsed = p7 != nullptr;
    if (!facts.parsed || !PKCS7_type_is_signed(p7.get()) || p7->d.sign == nullptr) return facts;
    facts.signedData = true;
    PKCS7_SIGNED* signedData = p7->d.sign;
    PKCS7* contents = signedData->contents;
    facts.trustListContent = contents != nullptr && OBJ_cmp(contents->type, stores_->trustList) == 0 &&
                             contents->d.other != nullptr && contents->d.other->type == V_ASN1_SEQUENCE;
    facts.digestAlgorithms = std::max(sk_X509_ALGOR_num(signedData->md_algs), 0);
    facts.certificates = std::max(sk_X509_num(signedData->cert), 0);
    facts.crls = signedData->crl != nullptr;
    facts.signers = std::max(sk_PKCS7_SIGNER_INFO_num(signedData->signer_info), 0);
    if (facts.signers != 1 || !facts.trustListContent) return facts;
    PKCS7_SIGNER_INFO* signer = sk_PKCS7_SIGNER_INFO_value(signedData->signer_info, 0);
    facts.authenticatedAttributes = std::max(sk_X509_ATTRIBUTE_num(signer->auth_attr), 0);
    facts.rsaEncryption = OBJ_obj2nid(signer->digest_enc_alg->algorithm) == NID_rsaEncryption;

    // The signed content: the trust list, digested without its own header.
    const ASN1_STRING* list = contents->d.other->value.sequence;
    const unsigned char* cursor = ASN1_STRING_get0_data(list);
    Element trustList;
    if (!Next(cursor, cursor + ASN1_STRING_length(list), trustList)) return facts;
    const SignerFacts checked = CheckSigner(signer, signedData->cert, trustList.content,
                                            static_cast<size_t>(trustList.length), stores_->codeSigning, stores_->trustList);
    facts.signerShape = checked.shape && facts.digestAlgorithms == 1 &&
                        OBJ_cmp(signer->digest_alg->algorithm, sk_X509_ALGOR_value(signedData->md_algs, 0)->algorithm) == 0;
    facts.contentDigest = checked.contentDigest;
    facts.signature = checked.signature;
    facts.chain = checked.chain;
    facts.root = checked.root;

    bool verified = true;
    for (int i = 0; i < sk_X509_ATTRIBUTE_num(signer->unauth_attr); ++i) {
        X509_ATTRIBUTE* attribute = sk_X509_ATTRIBUTE_value(signer->unauth_attr, i);
        const ASN1_OBJECT* type = X509_ATTRIBUTE_get0_object(attribute);
        const ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, 0);
        if (OBJ_obj2nid(type) == NID_pkcs9_countersignature) {
            facts.countersigned = true;
            verified = VerifyCountersignature(value, signer->enc_digest, signedData->cert, stores_->timeStamping) && verified;
        } else if (OBJ_cmp(type, stores_->rfc3161Attribute) == 0) {
            facts.countersigned = true;
            verified = VerifyTimestampToken(value, signer->enc_digest, stores_->timeStamping) && verified;
        }
    }
    facts.countersignature = facts.countersigned && verified;
    facts.members = MemberHashes(trustList.content, trustList.length, facts.memberHashes);
    if (!facts.members) facts.memberHashes.clear();
    return facts;
}

Verdict PeerVerifier::Verify(const Bytes& catalog) const {
    Facts facts = Inspect(catalog);
    Verdict verdict;
    verdict.accepted = facts.signerShape && !facts.crls && facts.contentDigest && facts.signature && facts.chain &&
                       (!facts.countersigned || facts.countersignature) && facts.members;
    if (verdict.accepted) verdict.memberHashes = std::move(facts.memberHashes);
    return verdict;
}

}  // namespace korva::peer
