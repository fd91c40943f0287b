// Extension types: what the toolkit knows about an extension OID (default
// criticality, where it may appear, whether values accumulate) and the four
// value handlers. A context's registry (tag 2006) holds rows given to it;
// every other OID is answered from the built-in table, and an OID that table
// lacks by its "UNKNOWN_TYPE" row.
#pragma once

#include <cstdint>

#include "toolkit/Objects.h"

namespace korva::toolkit {

struct ToolkitContext;

// The kinds of object an extension may belong to (allowedIn, list kinds).
inline constexpr uint16_t kExtensionInCertificate = 1;
inline constexpr uint16_t kExtensionInCrl = 2;
inline constexpr uint16_t kExtensionInCrlEntry = 4;
inline constexpr uint16_t kExtensionInOcspRequest = 8;
inline constexpr uint16_t kExtensionInOcspResponse = 16;
inline constexpr uint16_t kExtensionKindsAll = 31;

// The OID octets of the row used for any OID without a row of its own.
inline constexpr uint8_t kUnknownExtensionType[] = {'U', 'N', 'K', 'N', 'O', 'W', 'N', '_', 'T', 'Y', 'P', 'E'};

// Value handlers. A decoded value is one memory-service block that keeps
// the extnValue octets it came from; `encode` gives a view of them.
struct ExtensionValueHandlers {
    Status (*decode)(const uint8_t* der, uint32_t derLength, void** value);
    Status (*encode)(const void* value, const uint8_t** der, uint32_t* derLength);
    Status (*copy)(const void* value, void** copy);
    void (*free)(void* value);
};

struct ExtensionTypeInfo {
    const uint8_t* oid;
    uint32_t oidLength;
    uint32_t defaultCritical;
    uint32_t criticalityFree;
    uint32_t handlersReplaceable;
    uint16_t allowedIn;
    uint32_t singleValued;
    ExtensionValueHandlers handlers;
};

struct ExtensionTypeRow;

struct ExtensionTypeRegistry : ObjectHeader {
    uint32_t bodyTag;
    ToolkitContext* context;
    ExtensionTypeRow* rows;  // added rows, searched before the built-in table
    uint32_t count;
};

Status ExtensionTypeRegistryCreate(ToolkitContext* context, ExtensionTypeRegistry** outRegistry);
void ExtensionTypeRegistryFree(ExtensionTypeRegistry** registry);

// The registry of a context or the registry itself; null for anything else.
ExtensionTypeRegistry* ExtensionTypeRegistryOf(void* contextOrRegistry);

// Reads the row of `oid`: the registry's, else the built-in table's; 1800
// when neither has one, 1854 for a handle that is neither a context nor a
// registry. The OID view lives as long as the row.
Status ExtensionTypeGet(void* contextOrRegistry, const uint8_t* oid, uint32_t oidLength, ExtensionTypeInfo* info);
// Adds or changes a row in the registry: 1856 for allowedIn outside 1-31,
// 1799 for an empty OID or a flag other than 0/1, 1857 for a missing
// handler, 1858 for new handlers on a row that keeps its own, 1859 for
// making a criticality-bound row free (the "UNKNOWN_TYPE" row excepted).
Status ExtensionTypeSet(void* contextOrRegistry, const ExtensionTypeInfo* info);

// The row that governs `oid` under `registry` (may be null): registry,
// built-in table, then "UNKNOWN_TYPE". `known` says whether the OID had a
// row of its own.
ExtensionTypeInfo ExtensionTypeResolve(const ExtensionTypeRegistry* registry, const uint8_t* oid, uint32_t oidLength,
                                       bool* known);

}  // namespace korva::toolkit
