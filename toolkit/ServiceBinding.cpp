#include "toolkit/ServiceBinding.h"

#include <cstring>

#include "runtime/MemoryService.h"
#include "toolkit/Context.h"
#include "toolkit/Objects.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

void FreeBinding(ServiceBinding* binding) {
    while (BindingNode* node = binding->first) {
        binding->first = node->next;
        mem::FreeBuffer(node);
    }
    mem::FreeBuffer(binding);
}

// A null name is one that no provider has, so it ends a walk by names.
ProviderEntry* ProviderNamed(ProviderEntry* chain, const char* name) {
    if (name == nullptr) return nullptr;
    while (chain != nullptr && std::strcmp(chain->name, name) != 0) chain = chain->next;
    return chain;
}

// The next provider to bind, or null when the selection is complete.
ProviderEntry* NextSelection(ProviderEntry* chain, ProviderEntry* previous, const char* const* names,
                             uint32_t nameCount, uint32_t selected) {
    if (names != nullptr && nameCount >= 1) {
        return selected < nameCount ? ProviderNamed(chain, names[selected]) : nullptr;
    }
    if (nameCount != 0 && selected == nameCount) return nullptr;
    return previous == nullptr ? chain : previous->next;
}

}  // namespace

bool IsServiceBinding(const void* handle) {
    return handle != nullptr && HandleWord(handle, 0) == kTagServiceBinding;
}

Status ServiceBind(ToolkitContext* context, uint32_t type, const char* const* names, uint32_t nameCount,
                   ServiceBinding** outBinding) {
    if (!IsContext(context) || ServiceClassOf(type) == kNoServiceClass || outBinding == nullptr) {
        return kInvalidArgument;
    }
    *outBinding = nullptr;
    auto* binding = static_cast<ServiceBinding*>(mem::AllocateBuffer(sizeof(ServiceBinding)));
    if (binding == nullptr) return kOutOfMemory;
    *binding = ServiceBinding{kTagServiceBinding, ServiceClassOf(type), context, nullptr};

    ProviderEntry* chain = context->providers[binding->serviceClass];
    BindingNode** tail = &binding->first;
    ProviderEntry* previous = nullptr;
    uint32_t selected = 0;
    while (ProviderEntry* provider = NextSelection(chain, previous, names, nameCount, selected)) {
        auto* node = static_cast<BindingNode*>(mem::AllocateBuffer(sizeof(BindingNode)));
        if (node == nullptr) {
            FreeBinding(binding);
            return kOutOfMemory;
        }
        *node = BindingNode{nullptr, provider};
        *tail = node;
        tail = &node->next;
        previous = provider;
        ++selected;
    }
    if (selected == 0) {
        FreeBinding(binding);
        return kNoProvider;
    }
    *outBinding = binding;
    return kOk;
}

Status ServiceBindOne(ToolkitContext* context, uint32_t type, const char* name, ServiceBinding** outBinding) {
    return ServiceBind(context, type, name != nullptr ? &name : nullptr, 1, outBinding);
}

Status ServiceUnbind(ServiceBinding** binding) {
    if (binding == nullptr || !IsServiceBinding(*binding)) return kInvalidArgument;
    FreeBinding(*binding);
    *binding = nullptr;
    return kOk;
}

Status DatabaseBindingCheck(const ServiceBinding* binding) {
    if (!IsServiceBinding(binding)) return kInvalidArgument;
    if (binding->serviceClass != kClassDatabase) {
        return StatusReport(binding->context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "database");
    }
    return kOk;
}

}  // namespace korva::toolkit
