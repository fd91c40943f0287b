#include "catalog/CertDigest.h"

#include "catalog/CertDigestInfo.h"
#include "catalog/CertResult.h"
#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace toolkit = korva::toolkit;
namespace trace = korva::trace;

uint32_t CCertDigest::Init(uint32_t id) {
    output_.Free();
    uint32_t result = Create();
    if (result != kCertSuccess) return result;
    const CInfo& info = CInfo::ById(id);
    if (info.id() == 0 || info.method() == 0) {
        trace::Emit(trace::Source::Crypto, 11, trace::Level::Warning, {trace::Num(id)});
        result = kCertUnknownAlgorithm;
    } else if (!output_.Allocate(info.digestLength())) {
        trace::Emit(trace::Source::Crypto, 12, trace::Level::Error, {trace::Num(info.digestLength())});
        result = kCertOutOfMemory;
    } else if (toolkit::Status status = toolkit::AlgorithmSetInfo(algorithm_, info.method(), nullptr);
               status != toolkit::kOk) {
        result = TraceToolkitFailure(14, status);
    } else if (status = toolkit::DigestInit(algorithm_, nullptr, nullptr, nullptr); status != toolkit::kOk) {
        result = TraceToolkitFailure(16, status);
    }
    if (result != kCertSuccess) {
        Release();
        output_.Free();
    }
    return result;
}

uint32_t CCertDigest::Update(const uint8_t* data, uint32_t length) {
    toolkit::Status status = toolkit::DigestUpdate(algorithm_, data, length, nullptr);
    return status == toolkit::kOk ? kCertSuccess : TraceToolkitFailure(18, status);
}

uint32_t CCertDigest::Final() {
    uint32_t written = 0;
    toolkit::Status status = toolkit::DigestFinal(algorithm_, output_.data(), &written, output_.size(), nullptr);
    return status == toolkit::kOk ? kCertSuccess : TraceToolkitFailure(20, status);
}

}  // namespace TarnVerifyTrustDriver
