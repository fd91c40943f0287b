#include "catalog/CertCertificate.h"

#include "catalog/CertResult.h"
#include "platform/Trace.h"
#include "toolkit/Certificate.h"

namespace TarnVerifyTrustDriver {

CCertCertificate::~CCertCertificate() { Release(); }

void CCertCertificate::Release() { korva::toolkit::CertFree(&certificate_); }

uint32_t CCertCertificate::Create(korva::toolkit::ToolkitContext* context) {
    Release();
    korva::toolkit::Status status = korva::toolkit::CertCreate(&certificate_, context);
    if (status == korva::toolkit::kOk) return kCertSuccess;
    certificate_ = nullptr;
    korva::trace::Emit(korva::trace::Source::Crypto, 12, korva::trace::Level::Warning, {korva::trace::Num(status)});
    return CertResultOf(status);
}

}  // namespace TarnVerifyTrustDriver
