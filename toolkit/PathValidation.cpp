#include "toolkit/PathValidation.h"

#include "toolkit/CertificateLists.h"
#include "toolkit/Crl.h"
#include "toolkit/Dispatch.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/PathCriticalExtensions.h"
#include "toolkit/PathExtensions.h"
#include "toolkit/PathLists.h"
#include "toolkit/PathNameConstraints.h"
#include "toolkit/PathPolicies.h"
#include "toolkit/PathReport.h"

namespace korva::toolkit {

namespace {

// The certificate status checks of one validation. A certificate found good
// joins a private copy of the trusted list that later checks are given.
class StatusChecks {
public:
    StatusChecks(ToolkitContext* context, const PathParams* params) : context_(context), params_(*params) {}
    ~StatusChecks() { ObjectListFree(&trusted_); }
    StatusChecks(const StatusChecks&) = delete;
    StatusChecks& operator=(const StatusChecks&) = delete;

    Status Start() {
        if ((params_.flags & kPathNoStatus) != 0) return kOk;
        if (Status status = ObjectListCreate(&trusted_); status != kOk) return status;
        Status status = PathListMerge(trusted_, params_.trustedCerts);
        params_.trustedCerts = trusted_;
        return status;
    }

    Status Check(CertObject* cert, ObjectList* outCrls) {
        if ((params_.flags & kPathNoStatus) != 0) return kOk;
        CertStatusResult result{};
        Status status = CertStatusRequest(context_, &params_, cert, &result);
        if (status == kOk && result.status != 0) status = kPathRejected;
        if (status == kOk) status = CertListAppendUnique(trusted_, cert, nullptr);
        if (status == kOk && outCrls != nullptr && IsCrl(result.detail)) {
            status = ObjectListAppend(outCrls, result.detail, nullptr, &kListByReference);
        }
        ObjectRelease(&result.detail);
        return status;
    }

private:
    ToolkitContext* context_;
    PathParams params_;
    ObjectList* trusted_ = nullptr;
};

bool SelfIssued(const CertFields& fields) {
    return NameCompare(fields.subject, fields.issuer) == 0;
}

// What every certificate above the start certificate must be to issue the
// one below it: a CA (reasons 6, 7), within the path length (reason 16,
// kind 3), allowed to sign certificates (reason 8).
Status CheckIssuer(ToolkitContext* context, const PathParams* params, const CertFields& fields,
                   uint32_t* maxPathLength) {
    const auto* constraints = PathExtensionValue<BasicConstraintsValue>(fields.extensions, oid::kBasicConstraints);
    bool alternative = params->kind == kPathKindAlternative;
    if ((params->flags & kPathNoBasicConstraints) == 0) {
        if (constraints == nullptr) return PathReject(context, PathReason::kNoBasicConstraints);
        if (constraints->cA == 0) {
            if (alternative) PathWarn(context, "BasicConstraints extension found in end entity cert");
            return PathReject(context, PathReason::kNotCa);
        }
    }
    if (alternative) {
        if (!SelfIssued(fields)) {
            if (*maxPathLength == 0) return PathReject(context, PathReason::kPathTooLong);
            --*maxPathLength;
        }
        if (constraints != nullptr && constraints->hasPathLength != 0 && constraints->pathLength < *maxPathLength) {
            *maxPathLength = constraints->pathLength;
        }
    }
    if ((params->flags & kPathNoKeyUsage) == 0) {
        const auto* usage = PathExtensionValue<KeyUsageValue>(fields.extensions, oid::kKeyUsage);
        bool checked = alternative || PathExtensionCritical(fields.extensions, oid::kKeyUsage);
        if (usage != nullptr && checked && (usage->bits & kKeyUsageKeyCertSign) == 0) {
            return PathReject(context, PathReason::kNoKeyCertSign);
        }
    }
    return kOk;
}

Status ValidateChainOnly(const ObjectList* path, StatusChecks& checks, const PathOutLists& out) {
    for (uint32_t i = PathListCount(path) - 1; i-- > 0;) {
        if (Status status = checks.Check(PathListCert(path, i), out.crls); status != kOk) return status;
    }
    return kOk;
}

// Kinds 2 and 3, from the certificate below the anchor down to the start.
Status ValidateFully(ToolkitContext* context, const PathParams* params, const ObjectList* path,
                     StatusChecks& checks, const PathOutLists& out) {
    uint32_t length = PathListCount(path) - 1;
    PathNameConstraints constraints;
    PathPolicyState policies(context, params);
    uint32_t maxPathLength = length;
    if (Status status = policies.Start(length); status != kOk) return status;
    bool nameConstraints = (params->flags & kPathNoNameConstraints) == 0;
    CertFields fields{};
    for (uint32_t i = length; i-- > 0;) {
        CertObject* cert = PathListCert(path, i);
        if (Status status = CertGetFields(cert, &fields); status != kOk) return status;
        Status status = checks.Check(cert, out.crls);
        if (status == kOk && nameConstraints) status = constraints.Check(context, fields);
        if (status == kOk) status = policies.Process(fields);
        if (status == kOk) status = PathCheckCriticalExtensions(context, params, fields.extensions, i);
        if (status == kOk && i > 0) status = CheckIssuer(context, params, fields, &maxPathLength);
        if (status == kOk && i > 0 && nameConstraints) {
            const auto* taken = PathExtensionValue<NameConstraintsValue>(fields.extensions, oid::kNameConstraints);
            if (taken != nullptr) status = constraints.TakeOver(taken);
        }
        if (status == kOk && i > 0) status = policies.PassDown(fields);
        if (status != kOk) return status;
    }
    if (Status status = policies.Finish(fields, out.policies); status != kOk) return status;
    return PathListMerge(out.certs, path);
}

}  // namespace

Status PathValidate(ToolkitContext* context, const PathParams* params, const ObjectList* path,
                    const PathOutLists& out) {
    StatusChecks checks(context, params);
    if (Status status = checks.Start(); status != kOk) return status;
    if (params->kind == kPathKindChainOnly) return ValidateChainOnly(path, checks, out);
    return ValidateFully(context, params, path, checks, out);
}

}  // namespace korva::toolkit
