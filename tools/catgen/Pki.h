// Keys, certificates and chains for test catalogs, built with libcrypto.
// Test-only: nothing here is linked into the product.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/catgen/Der.h"

typedef struct evp_pkey_st EVP_PKEY;
typedef struct x509_st X509;

namespace korva::catgen {

enum class Digest { kSha1, kSha256 };

std::string_view DigestOid(Digest digest);
std::string_view DigestName(Digest digest);
std::optional<Digest> DigestFromName(std::string_view name);
Bytes Hash(Digest digest, const Bytes& data);
// DigestInfo ::= SEQUENCE { AlgorithmIdentifier (with NULL), OCTET STRING }
Bytes DigestInfo(Digest digest, const Bytes& hash);

using Key = std::shared_ptr<EVP_PKEY>;
using Certificate = std::shared_ptr<X509>;

// PKCS #1 v1.5 block type 1 over `block` as given (normally a DigestInfo).
Bytes RsaSign(const Key& key, const Bytes& block);

// A key per role name, made once per process. With a key directory set,
// <dir>/<role>.pem is loaded when present and written when made, so that
// repeated runs sign with the same keys.
Key TestKey(const std::string& role);
void SetKeyDirectory(const std::filesystem::path& directory);
void SetKeyBits(int bits);

Key LoadKey(const std::filesystem::path& path);                  // PEM
Certificate LoadCertificate(const std::filesystem::path& path);  // PEM or DER
bool SaveKeyPem(const Key& key, const std::filesystem::path& path);
bool SaveCertificatesPem(const std::vector<Certificate>& certificates, const std::filesystem::path& path);

Bytes CertificateDer(const Certificate& certificate);
// IssuerAndSerialNumber of a certificate, as a SignerInfo names its signer;
// with `serial` given, that serial (big-endian) instead of the certificate's.
Bytes IssuerAndSerial(const Certificate& certificate, const Bytes& serial = {});

struct Identity {
    Key key;
    Certificate cert;
};

struct CertificateOptions {
    std::string subject;        // "/CN=Name/O=Org/OU=Unit" (OpenSSL's one-line form)
    Bytes serial;               // big-endian; empty: 16 octets derived from subject and key
    bool ca = false;
    std::vector<std::string> extendedKeyUsages;  // dotted OIDs; none: no extension
    bool extendedKeyUsageCritical = false;
    Digest digest = Digest::kSha256;
    int64_t notBefore = 1262304000;  // 2010-01-01
    int64_t notAfter = 2524608000;   // 2050-01-01
};

Identity SelfSigned(const Key& key, const CertificateOptions& options);
Identity Issue(const Identity& issuer, const Key& key, const CertificateOptions& options);
// A self-signed CA certificate for `name` with TestKey(role).
Identity TestRoot(const std::string& role, const std::string& name);

enum class ChainRole { kCodeSigning, kTimeStamping };

struct ChainOptions {
    ChainRole role = ChainRole::kCodeSigning;
    int intermediates = 1;        // 1 or 2 below the root
    std::string leafSubject;      // empty: a name after the role
    Bytes leafSerial;
    std::optional<std::vector<std::string>> leafExtendedKeyUsages;  // empty: the role's usage
    std::string issuerSubject;    // the leaf's issuing intermediate; empty: a name after the role
    Digest digest = Digest::kSha256;
    bool selfSignedLeaf = false;  // the leaf signs itself; no intermediates
    // Tells chains of one role apart: their key roles and CA names carry it,
    // so that each has keys of its own. Empty: one chain per role.
    std::string name;
};

struct Chain {
    Identity root;
    std::vector<Identity> intermediates;  // the one below the root first
    Identity leaf;
    // What a signer embeds: the leaf, then the intermediates from the bottom up.
    std::vector<Certificate> Embedded() const;
};

Chain BuildChain(const Identity& root, const ChainOptions& options);

inline constexpr std::string_view kCodeSigningUsage = "1.3.6.1.5.5.7.3.3";
inline constexpr std::string_view kTimeStampingUsage = "1.3.6.1.5.5.7.3.8";

}  // namespace korva::catgen
