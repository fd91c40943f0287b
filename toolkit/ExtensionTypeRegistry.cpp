#include "toolkit/ExtensionTypeRegistry.h"

#include <cstring>

#include "runtime/MemoryService.h"
#include "toolkit/BuiltinExtensionTypes.h"
#include "toolkit/Context.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

// A row given to the registry; `info.oid` points at the row's own copy.
struct ExtensionTypeRow {
    uint8_t* oid;
    ExtensionTypeInfo info;
};

namespace {

void DestroyRegistry(ObjectHeader* object) {
    auto* registry = static_cast<ExtensionTypeRegistry*>(object);
    for (uint32_t i = 0; i < registry->count; ++i) mem::FreeBuffer(registry->rows[i].oid);
    mem::FreeBuffer(registry->rows);
}

constexpr ObjectMethods kRegistryMethods = {DestroyRegistry};

bool SameOid(const uint8_t* a, uint32_t aLength, const uint8_t* b, uint32_t bLength) {
    return aLength == bLength && aLength != 0 && std::memcmp(a, b, aLength) == 0;
}

ExtensionTypeRow* FindRow(const ExtensionTypeRegistry* registry, const uint8_t* oid, uint32_t oidLength) {
    if (registry == nullptr || oid == nullptr) return nullptr;
    for (uint32_t i = 0; i < registry->count; ++i) {
        if (SameOid(registry->rows[i].oid, registry->rows[i].info.oidLength, oid, oidLength)) return &registry->rows[i];
    }
    return nullptr;
}

bool Lookup(const ExtensionTypeRegistry* registry, const uint8_t* oid, uint32_t oidLength, ExtensionTypeInfo* info) {
    if (const ExtensionTypeRow* row = FindRow(registry, oid, oidLength)) {
        *info = row->info;
        return true;
    }
    return BuiltinExtensionTypeFind(oid, oidLength, info);
}

bool IsFlag(uint32_t value) {
    return value == 0 || value == 1;
}

bool SameHandlers(const ExtensionValueHandlers& a, const ExtensionValueHandlers& b) {
    return a.decode == b.decode && a.encode == b.encode && a.copy == b.copy && a.free == b.free;
}

bool IsUnknownTypeRow(const ExtensionTypeInfo& info) {
    return SameOid(info.oid, info.oidLength, kUnknownExtensionType, sizeof kUnknownExtensionType);
}

// Appends a row with its own copy of the OID.
Status AddRow(ExtensionTypeRegistry* registry, const ExtensionTypeInfo& info) {
    auto* oid = static_cast<uint8_t*>(mem::AllocateBuffer(info.oidLength));
    auto* rows = static_cast<ExtensionTypeRow*>(mem::AllocateBuffer((registry->count + 1) * sizeof(ExtensionTypeRow)));
    if (oid == nullptr || rows == nullptr) {
        mem::FreeBuffer(oid);
        mem::FreeBuffer(rows);
        return kOutOfMemory;
    }
    std::memcpy(oid, info.oid, info.oidLength);
    if (registry->count != 0) std::memcpy(rows, registry->rows, registry->count * sizeof(ExtensionTypeRow));
    rows[registry->count] = ExtensionTypeRow{oid, info};
    rows[registry->count].info.oid = oid;
    mem::FreeBuffer(registry->rows);
    registry->rows = rows;
    ++registry->count;
    return kOk;
}

}  // namespace

Status ExtensionTypeRegistryCreate(ToolkitContext* context, ExtensionTypeRegistry** outRegistry) {
    if (outRegistry == nullptr) return kInvalidArgument;
    auto* registry = static_cast<ExtensionTypeRegistry*>(
        ObjectNewWithBodyTag(sizeof(ExtensionTypeRegistry), kTagExtensionTypeRegistry, &kRegistryMethods));
    *outRegistry = registry;
    if (registry == nullptr) return kOutOfMemory;
    registry->context = context;
    return kOk;
}

void ExtensionTypeRegistryFree(ExtensionTypeRegistry** registry) {
    if (registry != nullptr && HasBodyTag(*registry, kTagExtensionTypeRegistry)) ObjectRelease(registry);
}

ExtensionTypeRegistry* ExtensionTypeRegistryOf(void* contextOrRegistry) {
    if (IsContext(contextOrRegistry)) return static_cast<ToolkitContext*>(contextOrRegistry)->extensionTypes;
    if (HasBodyTag(contextOrRegistry, kTagExtensionTypeRegistry)) {
        return static_cast<ExtensionTypeRegistry*>(contextOrRegistry);
    }
    return nullptr;
}

Status ExtensionTypeGet(void* contextOrRegistry, const uint8_t* oid, uint32_t oidLength, ExtensionTypeInfo* info) {
    ExtensionTypeRegistry* registry = ExtensionTypeRegistryOf(contextOrRegistry);
    if (registry == nullptr) return kInvalidContext;
    if (info == nullptr) return kInvalidArgument;
    return Lookup(registry, oid, oidLength, info) ? kOk : kNotFound;
}

Status ExtensionTypeSet(void* contextOrRegistry, const ExtensionTypeInfo* info) {
    ExtensionTypeRegistry* registry = ExtensionTypeRegistryOf(contextOrRegistry);
    if (registry == nullptr) return kInvalidContext;
    if (info == nullptr) return kInvalidArgument;
    if (info->allowedIn == 0 || info->allowedIn > kExtensionKindsAll) return kBadAllowedIn;
    if (info->oid == nullptr || info->oidLength == 0 || !IsFlag(info->defaultCritical) ||
        !IsFlag(info->criticalityFree) || !IsFlag(info->handlersReplaceable) || !IsFlag(info->singleValued)) {
        return kInvalidArgument;
    }
    const ExtensionValueHandlers& handlers = info->handlers;
    if (handlers.decode == nullptr || handlers.encode == nullptr || handlers.copy == nullptr || handlers.free == nullptr) {
        return kMethodsIncomplete;
    }
    ExtensionTypeInfo existing{};
    if (Lookup(registry, info->oid, info->oidLength, &existing)) {
        if (!SameHandlers(existing.handlers, handlers) && existing.handlersReplaceable == 0) {
            return kHandlersNotReplaceable;
        }
        if (info->criticalityFree != 0 && existing.criticalityFree == 0 && !IsUnknownTypeRow(existing)) {
            return kCriticalityMismatch;
        }
    }
    if (ExtensionTypeRow* row = FindRow(registry, info->oid, info->oidLength)) {
        uint8_t* oid = row->oid;
        row->info = *info;
        row->info.oid = oid;
        return kOk;
    }
    return AddRow(registry, *info);
}

ExtensionTypeInfo ExtensionTypeResolve(const ExtensionTypeRegistry* registry, const uint8_t* oid, uint32_t oidLength,
                                       bool* known) {
    ExtensionTypeInfo info{};
    bool found = Lookup(registry, oid, oidLength, &info);
    if (known != nullptr) *known = found;
    if (!found && !Lookup(registry, kUnknownExtensionType, sizeof kUnknownExtensionType, &info)) {
        info = BuiltinExtensionType(0);
    }
    return info;
}

}  // namespace korva::toolkit
