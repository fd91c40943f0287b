#include "toolkit/Providers.h"

#include <cstring>

#include "runtime/MemoryService.h"
#include "toolkit/Context.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

constexpr uint32_t kClassOfType[kServiceTypeCount] = {0, 1, 2, 3, 4, 5, 6, 7, kClassDatabase};

bool IsSingleProviderClass(uint32_t serviceClass) {
    return serviceClass == kClassCallbacks || serviceClass == kClassAlgorithms;
}

ProviderEntry* FindByName(const ToolkitContext* context, uint32_t serviceClass, const char* name) {
    for (ProviderEntry* entry = context->providers[serviceClass]; entry != nullptr; entry = entry->next) {
        if (std::strcmp(entry->name, name) == 0) return entry;
    }
    return nullptr;
}

void Link(ToolkitContext* context, uint32_t serviceClass, ProviderEntry* entry, uint32_t position) {
    ProviderEntry** link = &context->providers[serviceClass];
    if (position == kAppend) {
        while (*link != nullptr) link = &(*link)->next;
    }
    entry->next = *link;
    *link = entry;
}

}  // namespace

uint32_t ServiceClassOf(uint32_t type) {
    return type < kServiceTypeCount ? kClassOfType[type] : kNoServiceClass;
}

Status ProviderRegister(ToolkitContext* context, const ProviderRecord* record, void* param, uint32_t position) {
    if (!IsContext(context) || record == nullptr || record->name == nullptr || record->name[0] == '\0' ||
        record->init == nullptr || ServiceClassOf(record->type) == kNoServiceClass ||
        (position != kInsertAtHead && position != kAppend)) {
        return kInvalidArgument;
    }
    uint32_t serviceClass = ServiceClassOf(record->type);
    if (IsSingleProviderClass(serviceClass) ? context->providers[serviceClass] != nullptr
                                            : FindByName(context, serviceClass, record->name) != nullptr) {
        return kProviderRegistered;
    }

    size_t nameSize = std::strlen(record->name) + 1;
    auto* entry = static_cast<ProviderEntry*>(mem::AllocateBuffer(sizeof(ProviderEntry) + nameSize));
    if (entry == nullptr) return kOutOfMemory;
    std::memset(entry, 0, sizeof(ProviderEntry));
    entry->name = reinterpret_cast<char*>(entry + 1);
    std::memcpy(entry->name, record->name, nameSize);
    if (Status status = record->init(context, param, entry->table, &entry->handle); status != kOk) {
        mem::FreeBuffer(entry);
        return status;
    }

    Link(context, serviceClass, entry, position);
    if (serviceClass == kClassCallbacks) {
        context->callbackFunction = entry->table[kSlotCallback];
        context->callbackHandle = entry->handle;
    } else if (serviceClass == kClassAlgorithms) {
        if (auto fill = entry->SlotAs<AlgorithmSetSlot>(kSlotAlgorithmSet)) fill(context, entry->handle, &context->algorithmSet);
    }
    return kOk;
}

void ProviderUnregister(ToolkitContext* context, uint32_t type, const char* name) {
    uint32_t serviceClass = ServiceClassOf(type);
    if (!IsContext(context) || serviceClass == kNoServiceClass || name == nullptr) return;
    ProviderEntry* entry = FindByName(context, serviceClass, name);
    if (entry == nullptr) return;

    if (auto release = entry->SlotAs<ReleaseHandleSlot>(kSlotReleaseHandle)) release(context, entry->handle, entry->name);
    if (serviceClass == kClassCallbacks) {
        context->callbackFunction = nullptr;
        context->callbackHandle = nullptr;
    } else if (serviceClass == kClassAlgorithms) {
        context->algorithmSet = nullptr;
    }
    ProviderEntry** link = &context->providers[serviceClass];
    while (*link != entry) link = &(*link)->next;
    *link = entry->next;
    mem::FreeBuffer(entry);
}

}  // namespace korva::toolkit
