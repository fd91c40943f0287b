// Finding the issuer candidates of a certificate or CRL, within the work
// budget of one path-building request.
#pragma once

#include <cstdint>

#include "toolkit/ObjectList.h"
#include "toolkit/PathParams.h"

namespace korva::toolkit {

struct ToolkitContext;

// Signature checks one path-building request may make. Honest catalogs need
// a few dozen; the cap keeps a hostile set of cross-signed certificates
// from stalling the tool.
inline constexpr uint32_t kPathMaxSignatureChecks = 4096;

struct PathBudget {
    uint32_t signatureChecks = 0;
    uint32_t searchSteps = 0;  // counted by the search, against kPathMaxSearchSteps
    bool exhausted = false;    // set when work was refused for want of budget
};

// Appends the verified candidates to `out`, skipping certificates already
// there. With a budget, a check beyond kPathMaxSignatureChecks marks it
// exhausted and ends the search with 1872.
Status PathFindIssuerCandidates(ToolkitContext* context, const PathParams* params, ObjectHeader* baseObject,
                                ObjectList* out, PathBudget* budget);

}  // namespace korva::toolkit
