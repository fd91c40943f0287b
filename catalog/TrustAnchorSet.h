// The trust anchor set: three lists of trusted root certificates built from
// the built-in root table (and any roots a caller added) on a started
// context. Signer chains are validated against list 1, countersigner chains
// against list 1 and then list 2; list 3 holds the maker's development
// anchors, which no check consults.
#pragma once

#include <cstdint>
#include <span>

#include "catalog/ExtraRoots.h"
#include "catalog/RootTable.h"
#include "toolkit/ObjectList.h"
#include "toolkit/Status.h"

namespace TarnVerifyTrustDriver {

class CCertContext;
class CVerificationCache;

struct TrustAnchorSet {
    // Indexed by group - 1; each list holds references to certificates.
    korva::toolkit::ObjectList* lists[kRootGroupCount] = {};
    // Further roots per group, owned by the caller; null in a default run.
    CExtraRoots* extraRoots = nullptr;
    // Checks already made against this set, owned by whoever set it up with
    // one; null: every key and signature is made and checked afresh.
    CVerificationCache* cache = nullptr;

    bool complete() const { return lists[0] != nullptr && lists[1] != nullptr && lists[2] != nullptr; }
    korva::toolkit::ObjectList* codeSigningAnchors() const { return lists[0]; }
    korva::toolkit::ObjectList* secondAnchors() const { return lists[1]; }
    korva::toolkit::ObjectList* developmentAnchors() const { return lists[2]; }
};

// Builds the three lists from `table` and the set's extra roots, group by
// group in table order. A complete set answers 0 at once. A root whose
// self-signature does not verify is left out and its mark stays 0, so the
// next build tries it again; a verified mark skips the check. Returns 0, or
// the status that stopped the build (1792 out of memory) with the set as it
// was.
korva::toolkit::Status BuildTrustAnchorSet(TrustAnchorSet& set, const CCertContext& context,
                                           std::span<RootRow> table = RootTable());
// Releases the three lists and their certificate references; the extra
// roots stay with their owner.
void ReleaseTrustAnchorSet(TrustAnchorSet& set);

}  // namespace TarnVerifyTrustDriver
