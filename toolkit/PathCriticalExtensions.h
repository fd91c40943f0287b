// The critical extensions path validation (kinds 2 and 3) accepts, warns
// about or refuses.
#pragma once

#include <cstdint>

#include "toolkit/PathParams.h"
#include "toolkit/Status.h"

namespace korva::toolkit {

struct ToolkitContext;
struct ExtensionList;

// Judges every critical extension of a certificate `below` certificates
// above the start certificate (0 for the start certificate itself): 1873
// with reason 5 for one that is not processed, reason 16 for a
// basicConstraints path length (kind 2) that the certificates below exceed.
Status PathCheckCriticalExtensions(ToolkitContext* context, const PathParams* params,
                                   const ExtensionList* extensions, uint32_t below);

}  // namespace korva::toolkit
