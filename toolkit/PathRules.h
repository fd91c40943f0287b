// Checks every path-processing slot shares: the request kind and a
// certificate's validity period at the validation time.
#pragma once

#include <cstdint>

#include "toolkit/PathParams.h"
#include "toolkit/Status.h"

namespace korva::toolkit {

struct ToolkitContext;
struct CertObject;

inline bool PathKindIsOurs(uint32_t kind) {
    return kind >= kPathKindChainOnly && kind <= kPathKindAlternative;
}

// Reports and answers 1874: the request is for another provider.
Status PathNotOurs(ToolkitContext* context);

// Whether the certificate is valid at `time` (0 when its fields cannot be read).
bool PathWithinValidity(const CertObject* cert, uint32_t time);

// Unless validity checks are off: 1873 with reason 15 outside the period.
Status PathCheckValidity(ToolkitContext* context, const PathParams* params, const CertObject* cert);

}  // namespace korva::toolkit
