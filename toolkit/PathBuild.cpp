#include <atomic>

#include "toolkit/PathLists.h"
#include "toolkit/Crl.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/PathBuildHooks.h"
#include "toolkit/PathExtensions.h"
#include "toolkit/PathProvider.h"
#include "toolkit/PathReport.h"
#include "toolkit/PathRules.h"
#include "toolkit/PathSearch.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace {

std::atomic<uint32_t> lastSignatureChecks{0};
std::atomic<uint32_t> lastSearchSteps{0};

// A path from a certificate: one outside its validity ends at once, as a
// path of its own when it is a trust anchor.
Status BuildFromCert(ToolkitContext* context, const PathParams* params, CertObject* cert, const PathOutLists& out,
                     PathBudget* budget) {
    if ((params->flags & kPathNoValidity) == 0 && !PathWithinValidity(cert, params->time)) {
        if (!PathIsAnchor(params->trustedCerts, cert)) return PathReject(context, PathReason::kStartOutsideValidity, kPathAtTrustAnchor);
        return out.path != nullptr ? CertListAppendUnique(out.path, cert, nullptr) : kOk;
    }
    return PathSearch(context, params, cert, out, budget);
}

// Kinds 2 and 3 want a CRL issuer that may sign CRLs; one without keyUsage
// is only noted.
bool MaySignCrls(ToolkitContext* context, const PathParams* params, const CertObject* issuer) {
    if (params->kind == kPathKindChainOnly || (params->flags & kPathNoKeyUsage) != 0) return true;
    CertFields fields{};
    if (CertGetFields(issuer, &fields) != kOk) return false;
    const auto* usage = PathExtensionValue<KeyUsageValue>(fields.extensions, oid::kKeyUsage);
    if (usage == nullptr) {
        PathReject(context, PathReason::kCrlIssuerNoKeyUsage);
        return true;
    }
    if ((usage->bits & kKeyUsageCrlSign) != 0) return true;
    PathReject(context, PathReason::kCrlIssuerNoCrlSign);
    return false;
}

// A CRL: a path from each of its issuers in turn; the first answer other
// than "no path" is the result.
Status BuildFromCrl(ToolkitContext* context, const PathParams* params, CrlObject* crl, const PathOutLists& out,
                    PathBudget* budget) {
    ObjectList* issuers = nullptr;
    if (Status status = ObjectListCreate(&issuers); status != kOk) return status;
    Status status = PathFindIssuerCandidates(context, params, crl, issuers, budget);
    uint32_t count = PathListCount(issuers);
    Status result = kPathAtTrustAnchor;
    for (uint32_t i = 0; status == kOk && i < count && result == kPathAtTrustAnchor && !budget->exhausted; ++i) {
        CertObject* issuer = PathListCert(issuers, i);
        if (MaySignCrls(context, params, issuer)) result = BuildFromCert(context, params, issuer, out, budget);
    }
    ObjectListFree(&issuers);
    if (status == kOutOfMemory) return status;
    return result == kPathAtTrustAnchor ? PathReject(context, PathReason::kNoPathToAnchor, result) : result;
}

}  // namespace

Status PathBuild(ToolkitContext* context, void*, const PathParams* params, ObjectHeader* startObject,
                 ObjectList* outPath, ObjectList* outCrls, ObjectList* outCerts, ObjectList* outPolicies) {
    if (params == nullptr) return StatusReport(context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "params");
    if (!PathKindIsOurs(params->kind)) return PathNotOurs(context);
    if (!IsCertificate(startObject) && !IsCrl(startObject)) {
        return StatusReport(context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "startObject");
    }
    PathOutLists out{outPath, outCrls, outCerts, outPolicies};
    PathBudget budget;
    Status status = IsCrl(startObject)
                        ? BuildFromCrl(context, params, static_cast<CrlObject*>(startObject), out, &budget)
                        : BuildFromCert(context, params, static_cast<CertObject*>(startObject), out, &budget);
    lastSignatureChecks.store(budget.signatureChecks);
    lastSearchSteps.store(budget.searchSteps);
    return status;
}

uint32_t PathBuildLastSignatureChecks() {
    return lastSignatureChecks.load();
}

uint32_t PathBuildLastSearchSteps() {
    return lastSearchSteps.load();
}

}  // namespace korva::toolkit
