// The text the catalog keeps for a certificate name: its common name, or its
// last organizational unit when it has no common name.
#pragma once

#include <cstdint>

#include "runtime/Memory.h"

namespace korva::toolkit {
struct NameObject;
}

namespace TarnVerifyTrustDriver {

// Fills `text` with the NUL-terminated text (a BMPString converted to UTF-8,
// other strings as they are). 1; 3 when the name has no common name or
// organizational unit of a string type; 22 out of memory.
uint32_t CatalogNameText(const korva::toolkit::NameObject* name, CMemory& text);

}  // namespace TarnVerifyTrustDriver
