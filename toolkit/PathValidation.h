// Validating a built path, start certificate first and trust anchor last:
// kind 1 checks only the status of each certificate below the anchor,
// kinds 2 and 3 validate it in the manner of RFC 5280 section 6.1.
#pragma once

#include <cstdint>

#include "toolkit/ObjectList.h"
#include "toolkit/PathParams.h"

namespace korva::toolkit {

struct ToolkitContext;

// The out lists a request fills (each may be null).
struct PathOutLists {
    ObjectList* path;
    ObjectList* crls;
    ObjectList* certs;
    ObjectList* policies;
};

Status PathValidate(ToolkitContext* context, const PathParams* params, const ObjectList* path,
                    const PathOutLists& out);

}  // namespace korva::toolkit
