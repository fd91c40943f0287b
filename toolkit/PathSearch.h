// The depth-first search for a path from a certificate up to a trust anchor.
#pragma once

#include <cstdint>

#include "toolkit/ObjectList.h"
#include "toolkit/PathIssuers.h"
#include "toolkit/PathParams.h"
#include "toolkit/PathValidation.h"

namespace korva::toolkit {

struct ToolkitContext;
struct CertObject;

// Search steps (certificates taken up) one path-building request may make,
// over all the searches a CRL's issuers start.
// Certificates proven to lead nowhere are searched once, so honest sets
// stay far below it; what it bounds is a hostile set whose paths all loop
// back into each other, which no memory of dead ends can shorten.
inline constexpr uint32_t kPathMaxSearchSteps = 16384;

// Searches from `start` (whose own validity the caller has checked). On
// success the path, start first and anchor last, goes to `out.path`.
// Without success the last validation failure, or 1872 when no path
// reached an anchor; 1792 when memory ran out.
Status PathSearch(ToolkitContext* context, const PathParams* params, CertObject* start, const PathOutLists& out,
                  PathBudget* budget);

}  // namespace korva::toolkit
