// The context's extension type registry (tag 2006). It starts empty and so
// answers every extension type from the built-in table; rows given to it
// later take precedence.
#pragma once

#include "toolkit/Objects.h"

namespace korva::toolkit {

struct ToolkitContext;

struct ExtensionTypeRegistry : ObjectHeader {
    uint32_t bodyTag;
    ToolkitContext* context;
};

Status ExtensionTypeRegistryCreate(ToolkitContext* context, ExtensionTypeRegistry** outRegistry);
void ExtensionTypeRegistryFree(ExtensionTypeRegistry** registry);

}  // namespace korva::toolkit
