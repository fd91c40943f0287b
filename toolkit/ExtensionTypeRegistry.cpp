#include "toolkit/ExtensionTypeRegistry.h"

namespace korva::toolkit {

Status ExtensionTypeRegistryCreate(ToolkitContext* context, ExtensionTypeRegistry** outRegistry) {
    if (outRegistry == nullptr) return kInvalidArgument;
    auto* registry = static_cast<ExtensionTypeRegistry*>(
        ObjectNewWithBodyTag(sizeof(ExtensionTypeRegistry), kTagExtensionTypeRegistry, nullptr));
    *outRegistry = registry;
    if (registry == nullptr) return kOutOfMemory;
    registry->context = context;
    return kOk;
}

void ExtensionTypeRegistryFree(ExtensionTypeRegistry** registry) {
    if (registry != nullptr && HasBodyTag(*registry, kTagExtensionTypeRegistry)) ObjectRelease(registry);
}

}  // namespace korva::toolkit
