#include "tools/catgen/CertBuilder.h"

#include <openssl/pkcs7.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <iterator>

namespace korva::catgen {

namespace {

X509_NAME* CommonName(const std::string& cn) {
    X509_NAME* name = X509_NAME_new();
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1,
                               0);
    return name;
}

void AddRaw(X509* x, const std::string& oid, bool critical, const Bytes& value) {
    ASN1_OBJECT* object = OBJ_txt2obj(oid.c_str(), 1);
    ASN1_OCTET_STRING* octets = ASN1_OCTET_STRING_new();
    ASN1_OCTET_STRING_set(octets, value.data(), static_cast<int>(value.size()));
    X509_EXTENSION* ext = X509_EXTENSION_create_by_OBJ(nullptr, object, critical ? 1 : 0, octets);
    X509_add_ext(x, ext, -1);
    X509_EXTENSION_free(ext);
    ASN1_OCTET_STRING_free(octets);
    ASN1_OBJECT_free(object);
}

void AddConf(X509* x, int nid, const std::string& value) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, nullptr, nid, value.c_str());
    X509_add_ext(x, ext, -1);
    X509_EXTENSION_free(ext);
}

template <typename T, int (*Encode)(const T*, unsigned char**)>
Bytes Encoded(const T* object) {
    int length = Encode(object, nullptr);
    Bytes out(length > 0 ? size_t(length) : 0);
    unsigned char* p = out.data();
    Encode(object, &p);
    return out;
}

}  // namespace

TestKey::TestKey() {
    EVP_PKEY* key = EVP_RSA_gen(1024);
    key_.reset(key, EVP_PKEY_free);
}

Bytes MakeCert(const CertSpec& spec) {
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), spec.serial);
    X509_NAME* subject = CommonName(spec.subject);
    X509_NAME* issuer = CommonName(spec.issuer);
    X509_set_subject_name(x, subject);
    X509_set_issuer_name(x, issuer);
    X509_NAME_free(subject);
    X509_NAME_free(issuer);
    time_t now = time(nullptr);
    ASN1_TIME_set(X509_getm_notBefore(x), spec.notBefore != 0 ? spec.notBefore : now - 86400);
    ASN1_TIME_set(X509_getm_notAfter(x), spec.notAfter != 0 ? spec.notAfter : now + 365 * 86400);
    X509_set_pubkey(x, spec.key->get());
    if (spec.ca >= 0) {
        std::string value = std::string("critical,CA:") + (spec.ca != 0 ? "TRUE" : "FALSE");
        if (spec.pathLength >= 0) value += ",pathlen:" + std::to_string(spec.pathLength);
        AddConf(x, NID_basic_constraints, value);
    }
    if (!spec.keyUsage.empty()) AddConf(x, NID_key_usage, spec.keyUsage);
    if (!spec.subjectKeyId.empty()) AddRaw(x, "2.5.29.14", false, OctetString(spec.subjectKeyId));
    if (!spec.authorityKeyId.empty()) AddRaw(x, "2.5.29.35", false, Sequence({Tlv(kContext, 0, spec.authorityKeyId)}));
    for (const RawExtension& ext : spec.extensions) AddRaw(x, ext.oid, ext.critical, ext.value);
    X509_sign(x, spec.signer->get(), EVP_sha256());
    Bytes der = Encoded<X509, i2d_X509>(x);
    X509_free(x);
    return der;
}

Bytes MakeCrl(const std::string& issuer, const TestKey& signer, time_t thisUpdate) {
    X509_CRL* crl = X509_CRL_new();
    X509_CRL_set_version(crl, 1);
    X509_NAME* name = CommonName(issuer);
    X509_CRL_set_issuer_name(crl, name);
    X509_NAME_free(name);
    ASN1_TIME* time = ASN1_TIME_set(nullptr, thisUpdate);
    X509_CRL_set1_lastUpdate(crl, time);
    ASN1_TIME_free(time);
    X509_CRL_sign(crl, signer.get(), EVP_sha256());
    Bytes der = Encoded<X509_CRL, i2d_X509_CRL>(crl);
    X509_CRL_free(crl);
    return der;
}

std::vector<Bytes> CertsOfSignedData(const Bytes& der) {
    const unsigned char* p = der.data();
    PKCS7* p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(der.size()));
    std::vector<Bytes> certs;
    if (p7 == nullptr) return certs;
    STACK_OF(X509)* stack = PKCS7_type_is_signed(p7) ? p7->d.sign->cert : nullptr;
    for (int i = 0; stack != nullptr && i < sk_X509_num(stack); ++i) {
        certs.push_back(Encoded<X509, i2d_X509>(sk_X509_value(stack, i)));
    }
    PKCS7_free(p7);
    return certs;
}

std::string SubjectCommonName(const Bytes& cert) {
    const unsigned char* p = cert.data();
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(cert.size()));
    char cn[256] = {};
    if (x != nullptr) X509_NAME_get_text_by_NID(X509_get_subject_name(x), NID_commonName, cn, sizeof cn);
    X509_free(x);
    return cn;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace korva::catgen
