#include "catalog/CertKey.h"

#include "catalog/CertResult.h"
#include "catalog/VerificationCache.h"
#include "platform/Trace.h"
#include "runtime/Memory.h"
#include "toolkit/Certificate.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace toolkit = korva::toolkit;
namespace trace = korva::trace;

// The key-information types that take a whole subjectPublicKeyInfo, in the
// order they are tried: RSA, then DSA under its two identifiers.
constexpr uint32_t kSpkiFormats[] = {toolkit::kKeyFormatRsaSpki, toolkit::kKeyFormatDsaOiw, toolkit::kKeyFormatDsa};

}  // namespace

CCertKey::~CCertKey() { Release(); }

void CCertKey::Release() {
    if (!borrowed_) toolkit::KeyObjectFree(&key_);
    key_ = nullptr;
    borrowed_ = false;
    spki_.Free();
}

uint32_t CCertKey::FromCertificate(toolkit::CertObject* certificate) { return FromCertificate(certificate, nullptr); }

uint32_t CCertKey::FromCertificate(toolkit::CertObject* certificate, CVerificationCache* cache) {
    Release();
    toolkit::CertFields fields{};
    if (toolkit::Status status = toolkit::CertGetFields(certificate, &fields); status != toolkit::kOk) {
        trace::Emit(trace::Source::Crypto, 18, trace::Level::Warning, {trace::Num(status)});
        return CertResultOf(status);
    }
    CMemory& spki = spki_;
    if (!spki.Allocate(fields.subjectPublicKeyInfo.length)) return kCertOutOfMemory;
    korva::platform::ByteReader source(fields.subjectPublicKeyInfo.data, fields.subjectPublicKeyInfo.length);
    (void)source.CopyBytes(spki.bytes());
    if (cache != nullptr) {
        if (const toolkit::KeyObject* kept = cache->FindKey(spki.bytes())) {
            // Read only from here on: verifications take the key as const.
            key_ = const_cast<toolkit::KeyObject*>(kept);
            borrowed_ = true;
            return kCertSuccess;
        }
    }
    if (toolkit::Status status = toolkit::KeyObjectCreate(&key_); status != toolkit::kOk) {
        key_ = nullptr;
        return CertResultOf(status);
    }
    const toolkit::KeyBytes info{spki.data(), spki.size()};
    for (uint32_t format : kSpkiFormats) {
        toolkit::Status status = toolkit::KeyObjectSetInfo(key_, format, &info);
        if (status == toolkit::kOk) {
            borrowed_ = cache != nullptr && cache->KeepKey(spki.bytes(), key_);
            return kCertSuccess;
        }
        if (status == toolkit::kCoreOutOfMemory) {
            Release();
            return kCertOutOfMemory;
        }
    }
    trace::Emit(trace::Source::Crypto, 20, trace::Level::Warning);
    Release();
    return kCertToolkitFailure;
}

}  // namespace TarnVerifyTrustDriver
