// The policy state of path validation (kinds 2 and 3): the acceptable
// policy set and the explicit-policy, policy-mapping and anyPolicy
// counters, in the manner of RFC 5280 section 6.1 without the full tree.
#pragma once

#include <cstdint>

#include "toolkit/Certificate.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/PathParams.h"
#include "toolkit/PathReport.h"

namespace korva::toolkit {

class PathPolicyState {
public:
    PathPolicyState(ToolkitContext* context, const PathParams* params) : context_(context), params_(params) {}
    ~PathPolicyState();
    PathPolicyState(const PathPolicyState&) = delete;
    PathPolicyState& operator=(const PathPolicyState&) = delete;

    // Starts the set from the initial policies (anyPolicy when none) for a
    // path of `length` certificates below the anchor.
    Status Start(uint32_t length);
    // One certificate's policies against the set: reasons 2, 3, 4 (kind 2),
    // 1876 (kind 3) when no policy is acceptable while one is required.
    Status Process(const CertFields& fields);
    // What a certificate above the start certificate passes down: mappings
    // (1877 under kind 3 for one to or from anyPolicy), constraints, and the
    // counters' countdown.
    Status PassDown(const CertFields& fields);
    // The end of the path: the explicit-policy requirement, then the final
    // set merged into `out` (may be null).
    Status Finish(const CertFields& start, ObjectList* out);

private:
    bool Active() const;
    Status Refuse(PathReason reason);
    Status Intersect(const CertificatePoliciesValue& policies);
    Status Map(const PolicyMappingsValue& mappings);

    ToolkitContext* context_;
    const PathParams* params_;
    ObjectList* set_ = nullptr;  // policy OIDs; holds anyPolicy for "every policy"
    bool none_ = false;          // the set has become empty
    uint32_t explicitPolicy_ = 0;
    uint32_t policyMapping_ = 0;
    uint32_t inhibitAnyPolicy_ = 0;
};

}  // namespace korva::toolkit
