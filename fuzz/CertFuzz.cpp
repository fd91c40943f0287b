// Any bytes as a certificate: decoding, the canonical check in both modes
// and a signature check with the certificate's own key must return a
// status, never crash, and agree with each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "toolkit/Certificate.h"
#include "toolkit/KeyFromSpki.h"

namespace tk = korva::toolkit;

namespace {

// Sets `der` into a fresh certificate; null when decoding refuses it.
tk::CertObject* Decode(const uint8_t* data, size_t size) {
    tk::CertObject* cert = nullptr;
    if (tk::CertCreate(&cert, nullptr) != tk::kOk) return nullptr;
    if (tk::CertSetEncoding(cert, data, static_cast<uint32_t>(size)) != tk::kOk) tk::CertFree(&cert);
    return cert;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tk::CertObject* lenient = Decode(data, size);
    tk::CertObject* strict = Decode(data, size);
    if (lenient == nullptr || strict == nullptr) {
        if (lenient != strict) std::abort();  // decoding is a function of the bytes
        return 0;
    }
    const uint8_t* der = nullptr;
    uint32_t length = 0;
    tk::Status lenientStatus = tk::CertGetEncoding(lenient, tk::kCertEncodingLenient, &der, &length);
    tk::Status strictStatus = tk::CertGetEncoding(strict, tk::kCertEncodingStrict, &der, &length);
    // Mode 1 checks everything mode 0 does, and more.
    if (strictStatus == tk::kOk && lenientStatus != tk::kOk) std::abort();
    if (strictStatus == tk::kOk && (length > size || length == 0)) std::abort();
    tk::CertFields fields{};
    if (tk::CertGetFields(lenient, &fields) != tk::kOk) std::abort();
    tk::KeyObject* key = nullptr;
    if (tk::KeyObjectCreate(&key) == tk::kOk &&
        tk::KeyObjectFromSpki(key, fields.subjectPublicKeyInfo.data, fields.subjectPublicKeyInfo.length) == tk::kOk) {
        tk::Status verdict = tk::CertVerifySignature(lenient, key);
        if (verdict != tk::kOk && verdict != tk::kSignatureMismatch && verdict != tk::kSignatureUncheckable &&
            verdict != tk::kUnknownCriticalExtension) {
            std::abort();
        }
    }
    tk::KeyObjectFree(&key);
    tk::CertFree(&lenient);
    tk::CertFree(&strict);
    return 0;
}
