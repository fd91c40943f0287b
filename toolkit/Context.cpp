#include "toolkit/Context.h"

#include <atomic>
#include <cstring>

#include "runtime/MemoryService.h"
#include "toolkit/ExtensionTypeRegistry.h"
#include "toolkit/Objects.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

// Written once, never cleared; no lock is needed for a flag that only goes up.
std::atomic<bool> g_contextMode{false};

Status RegisterAll(ToolkitContext* context, const ProviderRecord* records, void* const* params, uint32_t count) {
    for (uint32_t serviceClass = 0; serviceClass < kServiceClassCount; ++serviceClass) {
        for (uint32_t i = 0; i < count; ++i) {
            if (ServiceClassOf(records[i].type) != serviceClass) continue;
            Status status = ProviderRegister(context, &records[i], params != nullptr ? params[i] : nullptr, kAppend);
            if (status != kOk) return status;
        }
    }
    return kOk;
}

}  // namespace

bool IsContext(const void* handle) {
    return handle != nullptr && HandleWord(handle, 0) == kTagContext;
}

bool ContextModeEnabled() {
    return g_contextMode.load(std::memory_order_acquire);
}

Status ContextCreate(const ProviderRecord* records, void* const* params, uint32_t count, ToolkitContext** outContext) {
    if (outContext == nullptr || (count > 0 && records == nullptr)) return kInvalidArgument;
    // A record without a class would never be reached by the class-ordered walk.
    for (uint32_t i = 0; i < count; ++i) {
        if (ServiceClassOf(records[i].type) == kNoServiceClass) return kInvalidArgument;
    }
    *outContext = nullptr;
    g_contextMode.store(true, std::memory_order_release);

    auto* context = static_cast<ToolkitContext*>(mem::AllocateBuffer(sizeof(ToolkitContext)));
    if (context == nullptr) return kOutOfMemory;
    std::memset(context, 0, sizeof *context);
    context->tag = kTagContext;

    Status status = RegisterAll(context, records, params, count);
    if (status == kOk) status = ExtensionTypeRegistryCreate(context, &context->extensionTypes);
    if (status != kOk) {
        ContextFree(&context);
        return status;
    }
    *outContext = context;
    return kOk;
}

void ContextFree(ToolkitContext** handle) {
    if (handle == nullptr || !IsContext(*handle)) return;
    ToolkitContext* context = *handle;
    ExtensionTypeRegistryFree(&context->extensionTypes);
    // Types 0-7 are their own classes, so unregistering a class's head under
    // the class number reaches every provider, type-8 databases included.
    for (uint32_t serviceClass = kServiceClassCount; serviceClass-- > 0;) {
        while (ProviderEntry* head = context->providers[serviceClass]) {
            ProviderUnregister(context, serviceClass, head->name);
        }
    }
    mem::FreeBuffer(context);
    *handle = nullptr;
}

Status ContextGetFlags(ToolkitContext* context, uint32_t* flags) {
    if (!IsContext(context)) return kNoContextFlags;
    if (flags == nullptr) return StatusReport(context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "pFlags");
    *flags = context->flags;
    return kOk;
}

}  // namespace korva::toolkit
