#include "toolkit/Dispatch.h"

#include "toolkit/Context.h"
#include "toolkit/KeyObject.h"

namespace korva::toolkit {

namespace {

template <typename Slot, typename Call>
Status DispatchToChain(ToolkitContext* context, uint32_t serviceClass, uint32_t slot, Call call) {
    bool anyProviderHasSlot = false;
    for (const ProviderEntry* entry = context->providers[serviceClass]; entry != nullptr; entry = entry->next) {
        Slot function = entry->SlotAs<Slot>(slot);
        if (function == nullptr) continue;
        anyProviderHasSlot = true;
        Status status = call(function, entry->handle);
        if (status != kNotForThisProvider) return status;
    }
    return anyProviderHasSlot ? kNotForThisProvider : kNoProvider;
}

bool IsOptionalList(const ObjectList* list) {
    return list == nullptr || HasBodyTag(list, kTagObjectList);
}

}  // namespace

Status CertStatusRequest(ToolkitContext* context, const PathParams* params, ObjectHeader* cert,
                         CertStatusResult* result) {
    if (!IsContext(context) || params == nullptr || !HasHeaderTag(cert, kTagCertificate) || result == nullptr) {
        return kInvalidArgument;
    }
    *result = CertStatusResult{};
    return DispatchToChain<CertStatusSlot>(context, kClassCertStatus, kSlotCertStatus,
                                           [&](CertStatusSlot ask, void* handle) {
        ObjectRelease(&result->detail);
        *result = CertStatusResult{};
        Status status = ask(context, handle, params, cert, result);
        return status == kOk && result->status == kCertStatusUndetermined ? kNotForThisProvider : status;
    });
}

Status PathVerifyRequest(ToolkitContext* context, const PathParams* params, ObjectHeader* cert, KeyObject* key) {
    if (!IsContext(context) || params == nullptr || !HasHeaderTag(cert, kTagCertificate) || key == nullptr ||
        KeyObjectCheck(key) != kOk) {
        return kInvalidArgument;
    }
    return DispatchToChain<PathVerifySlot>(context, kClassPathProcessing, kSlotPathVerify,
                                           [&](PathVerifySlot verify, void* handle) {
        return verify(context, handle, params, cert, key);
    });
}

Status PathBuildRequest(ToolkitContext* context, const PathParams* params, ObjectHeader* startObject,
                        ObjectList* outPath, ObjectList* out2, ObjectList* out3, ObjectList* out4) {
    if (!IsContext(context) || params == nullptr ||
        !(HasHeaderTag(startObject, kTagCertificate) || HasHeaderTag(startObject, kTagCrl)) ||
        !IsOptionalList(outPath) || !IsOptionalList(out2) || !IsOptionalList(out3) || !IsOptionalList(out4)) {
        return kInvalidArgument;
    }
    return DispatchToChain<PathBuildSlot>(context, kClassPathProcessing, kSlotPathBuild,
                                          [&](PathBuildSlot build, void* handle) {
        return build(context, handle, params, startObject, outPath, out2, out3, out4);
    });
}

}  // namespace korva::toolkit
