#include "catalog/CertAlgorithm.h"

#include "catalog/CertResult.h"

namespace TarnVerifyTrustDriver {

CCertAlgorithm::~CCertAlgorithm() { Release(); }

uint32_t CCertAlgorithm::Create() {
    Release();
    korva::toolkit::Status status = korva::toolkit::AlgorithmCreate(&algorithm_);
    return status == korva::toolkit::kOk ? kCertSuccess : CertResultOf(status);
}

void CCertAlgorithm::Release() { korva::toolkit::AlgorithmFree(&algorithm_); }

}  // namespace TarnVerifyTrustDriver
