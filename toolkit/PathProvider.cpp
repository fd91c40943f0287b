#include "toolkit/PathProvider.h"

#include "runtime/MemoryService.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

Status PathInit(ToolkitContext* context, void* params, ProviderFunction* funcs, void** handle) {
    if (params != nullptr) StatusReport(context, kInputMissing, kSeverityWarning, __FILE__, __LINE__, "params");
    if (funcs == nullptr) return StatusReport(context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "funcs");
    if (handle == nullptr) {
        return StatusReport(context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "handle");
    }
    funcs[kSlotReleaseHandle] = AsProviderFunction(&PathRelease);
    funcs[kSlotPathFindIssuers] = AsProviderFunction(&PathFindIssuers);
    funcs[kSlotPathVerify] = AsProviderFunction(&PathVerifyCert);
    funcs[kSlotPathBuild] = AsProviderFunction(&PathBuild);
    // The handle carries no state; one byte gives it an identity.
    *handle = mem::AllocateBuffer(1);
    if (*handle == nullptr) return StatusReport(context, kOutOfMemory, kSeverityError, __FILE__, __LINE__);
    return kOk;
}

void PathRelease(ToolkitContext*, void* handle, const char*) {
    mem::FreeBuffer(handle);
}

}  // namespace korva::toolkit
