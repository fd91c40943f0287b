// The built-in extension type table: 31 rows, the first the "UNKNOWN_TYPE"
// row, each with the value handlers of its extension's published ASN.1.
#pragma once

#include <cstdint>

#include "toolkit/ExtensionTypeRegistry.h"

namespace korva::toolkit {

inline constexpr uint32_t kBuiltinExtensionTypeCount = 31;

// Row `index` (0 is "UNKNOWN_TYPE"); the OID view points into the table.
ExtensionTypeInfo BuiltinExtensionType(uint32_t index);
// The built-in row of `oid`, if the table has one.
bool BuiltinExtensionTypeFind(const uint8_t* oid, uint32_t oidLength, ExtensionTypeInfo* info);

}  // namespace korva::toolkit
