// Certificates for the path tests and benchmarks, made with libcrypto: keys, chosen names,
// validity, basic constraints, key usage, key identifiers and any raw
// extension, signed by a chosen key. Native builds only.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "tools/catgen/Der.h"

namespace korva::catgen {

// An RSA key pair; 1024 bits keeps the tests quick.
class TestKey {
public:
    TestKey();
    EVP_PKEY* get() const { return key_.get(); }

private:
    std::shared_ptr<EVP_PKEY> key_;
};

struct RawExtension {
    std::string oid;  // dotted
    bool critical;
    Bytes value;  // the extnValue octets
};

struct CertSpec {
    std::string subject;  // common names
    std::string issuer;
    long serial = 1;
    const TestKey* key = nullptr;     // the subject's
    const TestKey* signer = nullptr;  // the issuer's
    time_t notBefore = 0;             // 0: a day ago
    time_t notAfter = 0;              // 0: in a year
    int ca = -1;                      // basicConstraints: -1 absent, else cA, critical
    int pathLength = -1;
    std::string keyUsage;  // e.g. "critical,keyCertSign"; empty for none
    Bytes subjectKeyId;      // empty for none
    Bytes authorityKeyId;
    std::vector<RawExtension> extensions;
};

Bytes MakeCert(const CertSpec& spec);
// A CRL of `issuer` signed by `signer`, last updated at `thisUpdate`.
Bytes MakeCrl(const std::string& issuer, const TestKey& signer, time_t thisUpdate);

// The certificates inside a PKCS #7 SignedData (a catalog file).
std::vector<Bytes> CertsOfSignedData(const Bytes& der);
// The common name of a certificate's subject.
std::string SubjectCommonName(const Bytes& cert);

Bytes ReadFileBytes(const std::string& path);

}  // namespace korva::catgen
