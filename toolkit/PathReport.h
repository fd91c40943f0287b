// How path processing tells why it turned a certificate down.
#pragma once

#include <cstdint>

#include "toolkit/Status.h"

namespace korva::toolkit {

struct ToolkitContext;

// Rejection reasons, reported as the message argument of a 1873 notice.
enum class PathReason : uint32_t {
    kSignatureNotCheckable = 1,
    kNoPolicyAcceptable = 2,
    kNoPoliciesWhileRequired = 3,
    kPolicySetEmpty = 4,
    kCriticalExtension = 5,
    kNoBasicConstraints = 6,
    kNotCa = 7,
    kNoKeyCertSign = 8,
    kNameNotPermitted = 9,
    kNameExcluded = 10,
    kEmailNotPermitted = 11,
    kEmailExcluded = 12,
    kKeyIdMismatch = 13,
    kCrlSignatureUncheckable = 14,
    kOutsideValidity = 15,
    kPathTooLong = 16,
    kStartOutsideValidity = 17,
    kNoPathToAnchor = 18,
    kNoSubjectKeyId = 19,
    kCrlIssuerNoKeyUsage = 20,
    kCrlIssuerNoCrlSign = 21,
};

// Reports the rejection as a notice; always answers `code` (1873 unless
// the reason is returned as another code).
Status PathReject(ToolkitContext* context, PathReason reason, Status code = kPathRejected);
// A warning about an extension, with its text.
void PathWarn(ToolkitContext* context, const char* text);

}  // namespace korva::toolkit
