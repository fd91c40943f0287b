#include "toolkit/PathRules.h"

#include "toolkit/Certificate.h"
#include "toolkit/PathReport.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

Status PathNotOurs(ToolkitContext* context) {
    StatusReport(context, kNotForThisProvider, kSeverityNotice, __FILE__, __LINE__);
    return kNotForThisProvider;
}

bool PathWithinValidity(const CertObject* cert, uint32_t time) {
    CertFields fields{};
    if (CertGetFields(cert, &fields) != kOk) return false;
    return fields.notBefore <= time && time <= fields.notAfter;
}

Status PathCheckValidity(ToolkitContext* context, const PathParams* params, const CertObject* cert) {
    if ((params->flags & kPathNoValidity) != 0 || PathWithinValidity(cert, params->time)) return kOk;
    return PathReject(context, PathReason::kOutsideValidity);
}

}  // namespace korva::toolkit
