// A public key of the toolkit, made from a certificate.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/Allocator.h"
#include "runtime/Memory.h"
#include "toolkit/KeyObject.h"

namespace korva::toolkit {
struct CertObject;
}

namespace TarnVerifyTrustDriver {

class CVerificationCache;

class CCertKey : public TAllocator<CCertKey> {
public:
    CCertKey() = default;
    virtual ~CCertKey();
    CCertKey(const CCertKey&) = delete;
    CCertKey& operator=(const CCertKey&) = delete;

    // Makes the key from the certificate's subjectPublicKeyInfo, trying the
    // toolkit's key-information types for it in a fixed order: 1; 22 out of
    // memory; 4 when the fields cannot be read or no type takes the key.
    uint32_t FromCertificate(korva::toolkit::CertObject* certificate);
    // The same, borrowing the key `cache` holds for the same
    // subjectPublicKeyInfo, or making it and handing it to the cache.
    uint32_t FromCertificate(korva::toolkit::CertObject* certificate, CVerificationCache* cache);
    void Release();
    korva::toolkit::KeyObject* key() const { return key_; }
    // The subjectPublicKeyInfo the key was made from; empty without a key.
    std::span<const uint8_t> spki() const { return spki_.bytes(); }

private:
    korva::toolkit::KeyObject* key_ = nullptr;
    bool borrowed_ = false;
    CMemory spki_;
};

}  // namespace TarnVerifyTrustDriver
