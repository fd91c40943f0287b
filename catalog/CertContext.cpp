#include "catalog/CertContext.h"

#include "catalog/CertResult.h"
#include "platform/Trace.h"
#include "toolkit/Context.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace toolkit = korva::toolkit;
namespace trace = korva::trace;

// Extensions that code-signing certificates mark critical although this
// toolkit has no rule for them: subjectKeyAttributes (2.5.29.4) and the
// publisher's agency information (1.3.6.1.4.1.311.2.1.10).
constexpr uint8_t kSubjectKeyAttributes[] = {0x55, 0x1D, 0x04};
constexpr uint8_t kSpcAgencyInfo[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0A};

// Trace numbers of each tolerance step: reading or checking the
// "UNKNOWN_TYPE" row, then writing the new row.
struct ToleranceStep {
    const uint8_t* oid;
    uint32_t oidLength;
    uint32_t getTrace;
    uint32_t setTrace;
};
constexpr ToleranceStep kToleranceSteps[] = {
    {kSubjectKeyAttributes, sizeof kSubjectKeyAttributes, 15, 14},
    {kSpcAgencyInfo, sizeof kSpcAgencyInfo, 19, 18},
    {toolkit::kUnknownExtensionType, sizeof toolkit::kUnknownExtensionType, 23, 22},
};

constexpr uint32_t kContextCreateTrace = 11;

// The copies are useful only if the row they copy would take the extension
// in a certificate, with handlers that may be shared and one value per OID.
bool UnknownRowFits(const toolkit::ExtensionTypeInfo& row) {
    return (row.allowedIn & toolkit::kExtensionInCertificate) != 0 && row.handlersReplaceable == 1 &&
           row.singleValued == 1;
}

uint32_t Fail(uint32_t number, toolkit::Status status) {
    trace::Emit(trace::Source::CertContext, number, trace::Level::Error, {trace::Num(status)});
    return CertResultOf(status);
}

}  // namespace

CCertContext::~CCertContext() { Reset(); }

void CCertContext::Reset() {
    if (context_ == nullptr) return;
    toolkit::ContextFree(&context_);
    context_ = nullptr;
    for (toolkit::ExtensionTypeInfo& info : working_) info = {};
    started_ = false;
}

uint32_t CCertContext::Start(std::span<const toolkit::ProviderRecord, kCertContextProviderCount> records,
                             void* const* params) {
    Reset();
    if (toolkit::Status status = toolkit::ContextCreate(records.data(), params, kCertContextProviderCount, &context_);
        status != toolkit::kOk) {
        context_ = nullptr;
        return Fail(kContextCreateTrace, status);
    }
    for (uint32_t step = 0; step < std::size(kToleranceSteps); ++step) {
        if (uint32_t result = Tolerate(step); result != kCertSuccess) {
            Reset();
            return result;
        }
    }
    started_ = true;
    return kCertSuccess;
}

uint32_t CCertContext::Tolerate(uint32_t step) {
    const ToleranceStep& how = kToleranceSteps[step];
    toolkit::ExtensionTypeInfo& row = working_[step];
    toolkit::Status status = toolkit::ExtensionTypeGet(context_, toolkit::kUnknownExtensionType,
                                                       sizeof toolkit::kUnknownExtensionType, &row);
    // A row that does not fit fails like a bad argument would.
    if (status == toolkit::kOk && !UnknownRowFits(row)) status = toolkit::kInvalidArgument;
    if (status != toolkit::kOk) return Fail(how.getTrace, status);
    row.oid = how.oid;
    row.oidLength = how.oidLength;
    row.defaultCritical = 0;
    row.criticalityFree = 1;
    status = toolkit::ExtensionTypeSet(context_, &row);
    if (status != toolkit::kOk) return Fail(how.setTrace, status);
    return kCertSuccess;
}

}  // namespace TarnVerifyTrustDriver
