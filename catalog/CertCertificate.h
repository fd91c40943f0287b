// A certificate of the toolkit, owned by the engine.
#pragma once

#include <cstdint>

#include "runtime/Allocator.h"

namespace korva::toolkit {
struct CertObject;
struct ToolkitContext;
}

namespace TarnVerifyTrustDriver {

class CCertCertificate : public TAllocator<CCertCertificate> {
public:
    CCertCertificate() = default;
    virtual ~CCertCertificate();
    CCertCertificate(const CCertCertificate&) = delete;
    CCertCertificate& operator=(const CCertCertificate&) = delete;

    // Replaces any certificate with an empty one on `context`: 1, 22 out
    // of memory, 4 for any other toolkit failure.
    uint32_t Create(korva::toolkit::ToolkitContext* context);
    void Release();
    korva::toolkit::CertObject* certificate() const { return certificate_; }

private:
    korva::toolkit::CertObject* certificate_ = nullptr;
};

}  // namespace TarnVerifyTrustDriver
