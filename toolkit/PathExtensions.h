// Reading the decoded extensions path processing looks at.
#pragma once

#include <cstddef>
#include <cstdint>

#include "toolkit/ExtensionList.h"

namespace korva::toolkit {

// The first decoded value of extension `oid`, or null when the list (which
// may be null) lacks it or cannot give it.
template <typename Value, size_t N>
const Value* PathExtensionValue(const ExtensionList* extensions, const uint8_t (&oid)[N]) {
    uint32_t index = 0;
    const void* value = nullptr;
    if (extensions == nullptr || ExtensionListFind(extensions, oid, N, &index) != kOk ||
        ExtensionListGetValue(extensions, index, 0, &value) != kOk) {
        return nullptr;
    }
    return static_cast<const Value*>(value);
}

// Whether the list holds extension `oid` marked critical.
template <size_t N>
bool PathExtensionCritical(const ExtensionList* extensions, const uint8_t (&oid)[N]) {
    uint32_t index = 0;
    uint32_t critical = 0;
    return extensions != nullptr && ExtensionListFind(extensions, oid, N, &index) == kOk &&
           ExtensionListGetCritical(extensions, index, &critical) == kOk && critical != 0;
}

}  // namespace korva::toolkit
