#include "tools/catgen/Pki.h"

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>

namespace korva::catgen {

namespace {

// libcrypto failing on well-formed test input is a broken installation, not
// a case a test wants to handle: it ends the build of the catalog.
void Require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("libcrypto: ") + what);
}

const EVP_MD* Md(Digest digest) { return digest == Digest::kSha1 ? EVP_sha1() : EVP_sha256(); }

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File Open(const std::filesystem::path& path, const char* mode) { return File(std::fopen(path.string().c_str(), mode)); }

Key WrapKey(EVP_PKEY* key) { return Key(key, EVP_PKEY_free); }
Certificate WrapCertificate(X509* cert) { return Certificate(cert, X509_free); }

struct KeyCache {
    std::mutex lock;
    std::map<std::string, Key> keys;
    std::filesystem::path directory;
    int bits = 2048;
};

KeyCache& Cache() {
    static KeyCache cache;
    return cache;
}

X509_NAME* ParseName(const std::string& text) {
    X509_NAME* name = X509_NAME_new();
    Require(name != nullptr, "X509_NAME_new");
    // "/K=V/K=V": a value may hold commas and spaces but no slash.
    size_t position = 0;
    while (position < text.size()) {
        size_t next = text.find('/', position + 1);
        std::string part = text.substr(position + 1, next == std::string::npos ? std::string::npos : next - position - 1);
        size_t equals = part.find('=');
        Require(equals != std::string::npos, "name attribute without '='");
        std::string field = part.substr(0, equals);
        std::string value = part.substr(equals + 1);
        Require(X509_NAME_add_entry_by_txt(name, field.c_str(), MBSTRING_UTF8,
                                           reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0) == 1,
                "name attribute");
        position = next == std::string::npos ? text.size() : next;
    }
    return name;
}

void AddExtension(X509* cert, X509V3_CTX* context, int nid, const std::string& value) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, context, nid, value.c_str());
    Require(extension != nullptr, "extension");
    Require(X509_add_ext(cert, extension, -1) == 1, "X509_add_ext");
    X509_EXTENSION_free(extension);
}

// 16 octets from the subject and the key, so that the same keys always give
// byte-identical certificates.
Bytes DerivedSerial(const Key& key, const std::string& subject) {
    unsigned char* publicKey = nullptr;
    int size = i2d_PUBKEY(key.get(), &publicKey);
    Require(size > 0, "i2d_PUBKEY");
    Bytes seed(publicKey, publicKey + size);
    OPENSSL_free(publicKey);
    seed.insert(seed.end(), subject.begin(), subject.end());
    Bytes serial = Hash(Digest::kSha256, seed);
    serial.resize(16);
    serial[0] = static_cast<uint8_t>((serial[0] & 0x7F) | 0x10);
    return serial;
}

// Certificate `key` for `options`, signed by `issuerKey`; `issuer` null for a
// self-signed one.
Certificate Make(const Identity* issuer, const Key& key, const CertificateOptions& options) {
    Certificate cert = WrapCertificate(X509_new());
    Require(cert != nullptr, "X509_new");
    X509* x = cert.get();
    Require(X509_set_version(x, 2) == 1, "version");
    Bytes serialBytes = options.serial.empty() ? DerivedSerial(key, options.subject) : options.serial;
    BIGNUM* number = BN_bin2bn(serialBytes.data(), static_cast<int>(serialBytes.size()), nullptr);
    ASN1_INTEGER* serial = BN_to_ASN1_INTEGER(number, nullptr);
    BN_free(number);
    Require(serial != nullptr && X509_set_serialNumber(x, serial) == 1, "serial");
    ASN1_INTEGER_free(serial);

    X509_NAME* subject = ParseName(options.subject);
    Require(X509_set_subject_name(x, subject) == 1, "subject");
    Require(X509_set_issuer_name(x, issuer != nullptr ? X509_get_subject_name(issuer->cert.get()) : subject) == 1, "issuer");
    X509_NAME_free(subject);
    Require(ASN1_TIME_set(X509_getm_notBefore(x), static_cast<time_t>(options.notBefore)) != nullptr, "notBefore");
    Require(ASN1_TIME_set(X509_getm_notAfter(x), static_cast<time_t>(options.notAfter)) != nullptr, "notAfter");
    Require(X509_set_pubkey(x, key.get()) == 1, "public key");

    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer != nullptr ? issuer->cert.get() : x, x, nullptr, nullptr, 0);
    AddExtension(x, &context, NID_basic_constraints, options.ca ? "critical,CA:TRUE" : "critical,CA:FALSE");
    AddExtension(x, &context, NID_key_usage,
                 options.ca ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
    if (!options.extendedKeyUsages.empty()) {
        std::string usages = options.extendedKeyUsageCritical ? "critical" : "";
        for (const std::string& usage : options.extendedKeyUsages) usages += (usages.empty() ? "" : ",") + usage;
        AddExtension(x, &context, NID_ext_key_usage, usages);
    }
    AddExtension(x, &context, NID_subject_key_identifier, "hash");
    AddExtension(x, &context, NID_authority_key_identifier, "keyid:always");
    const Key& signingKey = issuer != nullptr ? issuer->key : key;
    Require(X509_sign(x, signingKey.get(), Md(options.digest)) > 0, "X509_sign");
    return cert;
}

}  // namespace

std::string_view DigestOid(Digest digest) {
    return digest == Digest::kSha1 ? "1.3.14.3.2.26" : "2.16.840.1.101.3.4.2.1";
}

std::string_view DigestName(Digest digest) { return digest == Digest::kSha1 ? "sha1" : "sha256"; }

std::optional<Digest> DigestFromName(std::string_view name) {
    if (name == "sha1") return Digest::kSha1;
    if (name == "sha256") return Digest::kSha256;
    return std::nullopt;
}

Bytes Hash(Digest digest, const Bytes& data) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    Require(EVP_Digest(data.data(), data.size(), out.data(), &size, Md(digest), nullptr) == 1, "EVP_Digest");
    out.resize(size);
    return out;
}

Bytes DigestInfo(Digest digest, const Bytes& hash) {
    return Sequence({AlgorithmIdentifier(DigestOid(digest)), OctetString(hash)});
}

Bytes RsaSign(const Key& key, const Bytes& block) {
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                                        EVP_PKEY_CTX_free);
    Require(context != nullptr && EVP_PKEY_sign_init(context.get()) == 1 &&
                EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) == 1,
            "RSA sign setup");
    size_t size = 0;
    Require(EVP_PKEY_sign(context.get(), nullptr, &size, block.data(), block.size()) == 1, "RSA sign size");
    Bytes signature(size);
    Require(EVP_PKEY_sign(context.get(), signature.data(), &size, block.data(), block.size()) == 1, "RSA sign");
    signature.resize(size);
    return signature;
}

void SetKeyDirectory(const std::filesystem::path& directory) {
    std::lock_guard<std::mutex> guard(Cache().lock);
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    Cache().directory = directory;
}

void SetKeyBits(int bits) {
    std::lock_guard<std::mutex> guard(Cache().lock);
    Cache().bits = bits;
}

Key TestKey(const std::string& role) {
    KeyCache& cache = Cache();
    std::lock_guard<std::mutex> guard(cache.lock);
    auto found = cache.keys.find(role);
    if (found != cache.keys.end()) return found->second;
    std::filesystem::path file = cache.directory.empty() ? std::filesystem::path() : cache.directory / (role + ".pem");
    Key key;
    if (!file.empty() && std::filesystem::exists(file)) key = LoadKey(file);
    if (key == nullptr) {
        key = WrapKey(EVP_RSA_gen(static_cast<unsigned int>(cache.bits)));
        Require(key != nullptr, "EVP_RSA_gen");
        if (!file.empty()) Require(SaveKeyPem(key, file), "saving a key");
    }
    cache.keys.emplace(role, key);
    return key;
}

Key LoadKey(const std::filesystem::path& path) {
    File file = Open(path, "rb");
    if (file == nullptr) return nullptr;
    return WrapKey(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr));
}

Certificate LoadCertificate(const std::filesystem::path& path) {
    File file = Open(path, "rb");
    if (file == nullptr) return nullptr;
    X509* cert = PEM_read_X509(file.get(), nullptr, nullptr, nullptr);
    if (cert == nullptr) {
        std::rewind(file.get());
        cert = d2i_X509_fp(file.get(), nullptr);
    }
    return cert != nullptr ? WrapCertificate(cert) : nullptr;
}

bool SaveKeyPem(const Key& key, const std::filesystem::path& path) {
    File file = Open(path, "wb");
    return file != nullptr &&
           PEM_write_PrivateKey(file.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
}

bool SaveCertificatesPem(const std::vector<Certificate>& certificates, const std::filesystem::path& path) {
    File file = Open(path, "wb");
    if (file == nullptr) return false;
    for (const Certificate& cert : certificates) {
        if (PEM_write_X509(file.get(), cert.get()) != 1) return false;
    }
    return true;
}

Bytes CertificateDer(const Certificate& certificate) {
    int size = i2d_X509(certificate.get(), nullptr);
    Require(size > 0, "i2d_X509");
    Bytes out(static_cast<size_t>(size));
    unsigned char* cursor = out.data();
    i2d_X509(certificate.get(), &cursor);
    return out;
}

Bytes IssuerAndSerial(const Certificate& certificate, const Bytes& serial) {
    unsigned char* name = nullptr;
    int nameSize = i2d_X509_NAME(X509_get_issuer_name(certificate.get()), &name);
    unsigned char* own = nullptr;
    int ownSize = i2d_ASN1_INTEGER(X509_get0_serialNumber(certificate.get()), &own);
    Require(nameSize > 0 && ownSize > 0, "issuer and serial");
    Bytes out = Sequence({Bytes(name, name + nameSize), serial.empty() ? Bytes(own, own + ownSize) : UnsignedInteger(serial)});
    OPENSSL_free(name);
    OPENSSL_free(own);
    return out;
}

Identity SelfSigned(const Key& key, const CertificateOptions& options) { return {key, Make(nullptr, key, options)}; }

Identity Issue(const Identity& issuer, const Key& key, const CertificateOptions& options) {
    return {key, Make(&issuer, key, options)};
}

Identity TestRoot(const std::string& role, const std::string& name) {
    CertificateOptions options;
    options.subject = "/CN=" + name + "/O=Korva Test PKI";
    options.ca = true;
    return SelfSigned(TestKey(role), options);
}

std::vector<Certificate> Chain::Embedded() const {
    std::vector<Certificate> out{leaf.cert};
    for (auto it = intermediates.rbegin(); it != intermediates.rend(); ++it) out.push_back(it->cert);
    return out;
}

Chain BuildChain(const Identity& root, const ChainOptions& options) {
    bool timeStamping = options.role == ChainRole::kTimeStamping;
    std::string prefix = std::string(timeStamping ? "tsa" : "signer") + (options.name.empty() ? "" : "-" + options.name);
    std::string label = std::string(timeStamping ? "Korva Test Time-Stamping" : "Korva Test Code Signing") +
                        (options.name.empty() ? "" : " " + options.name);
    Chain chain;
    chain.root = root;

    CertificateOptions leafOptions;
    leafOptions.subject = options.leafSubject.empty()
                              ? "/CN=" + label + (timeStamping ? " Service" : " Publisher") + "/O=Korva Test PKI"
                              : options.leafSubject;
    leafOptions.serial = options.leafSerial;
    leafOptions.digest = options.digest;
    leafOptions.extendedKeyUsages = options.leafExtendedKeyUsages.value_or(
        std::vector<std::string>{std::string(timeStamping ? kTimeStampingUsage : kCodeSigningUsage)});
    leafOptions.extendedKeyUsageCritical = timeStamping;
    if (options.selfSignedLeaf) {
        chain.leaf = SelfSigned(TestKey(prefix + "-self"), leafOptions);
        return chain;
    }

    const Identity* issuer = &chain.root;
    for (int level = 1; level <= options.intermediates; ++level) {
        CertificateOptions caOptions;
        caOptions.ca = true;
        caOptions.digest = options.digest;
        bool issuing = level == options.intermediates;
        caOptions.subject = issuing && !options.issuerSubject.empty()
                                ? options.issuerSubject
                                : "/CN=" + label + " CA " + std::to_string(level) + "/O=Korva Test PKI";
        chain.intermediates.push_back(Issue(*issuer, TestKey(prefix + "-ca" + std::to_string(level)), caOptions));
        issuer = &chain.intermediates.back();
    }
    chain.leaf = Issue(*issuer, TestKey(prefix), leafOptions);
    return chain;
}

}  // namespace korva::catgen
