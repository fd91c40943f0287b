// A public key of the toolkit, made from a certificate.
#pragma once

#include <cstdint>

#include "runtime/Allocator.h"
#include "toolkit/KeyObject.h"

namespace korva::toolkit {
struct CertObject;
}

namespace TarnVerifyTrustDriver {

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
    void Release();
    korva::toolkit::KeyObject* key() const { return key_; }

private:
    korva::toolkit::KeyObject* key_ = nullptr;
};

}  // namespace TarnVerifyTrustDriver
