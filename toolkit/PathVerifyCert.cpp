#include "toolkit/Certificate.h"
#include "toolkit/PathProvider.h"
#include "toolkit/PathReport.h"
#include "toolkit/PathRules.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

Status PathVerifyCert(ToolkitContext* context, void*, const PathParams* params, ObjectHeader* cert,
                      KeyObject* key) {
    if (params == nullptr) return StatusReport(context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "params");
    if (!PathKindIsOurs(params->kind)) return PathNotOurs(context);
    auto* certificate = static_cast<CertObject*>(cert);
    if (Status status = PathCheckValidity(context, params, certificate); status != kOk) return status;
    if ((params->flags & kPathNoSignatures) != 0) return kOk;
    Status status = CertVerifySignature(certificate, key);
    return status == kSignatureUncheckable ? PathReject(context, PathReason::kSignatureNotCheckable) : status;
}

}  // namespace korva::toolkit
