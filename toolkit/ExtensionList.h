// Extension lists (tag 2005): the extensions of a certificate, CRL, CRL
// entry or OCSP message, each checked against its type when it enters.
#pragma once

#include <cstdint>

#include "toolkit/ExtensionTypeRegistry.h"

namespace korva::toolkit {

struct ExtensionEntry {
    uint8_t* oid;
    uint32_t oidLength;
    uint32_t critical;
    uint32_t recognised;  // the OID had a row of its own
    ExtensionTypeInfo type;  // the governing row; its OID view is `oid`
    void* value;             // decoded by the row's handlers
};

struct ExtensionList : ObjectHeader {
    uint32_t bodyTag;
    uint16_t kinds;  // kExtensionIn* mask of the objects it belongs to
    ToolkitContext* context;
    ExtensionTypeRegistry* registry;
    uint32_t modified;
    uint8_t* der;  // cached Extensions DER, built on demand
    uint32_t derLength;
    ExtensionEntry* entries;
    uint32_t count;
    uint32_t capacity;
};

bool IsExtensionList(const void* handle);

// `contextOrRegistry` may be null (built-in table only); any other handle
// than a context or registry gives 1854.
Status ExtensionListCreate(void* contextOrRegistry, uint16_t kinds, ExtensionList** outList);
void ExtensionListFree(ExtensionList** list);
// Drops every entry.
Status ExtensionListClear(ExtensionList* list);

// Decodes an Extensions SEQUENCE into the (emptied) list. Extension check
// failures keep their code (1848, 1850, 1852, 1859); an OID met twice and
// every other malformation give 1793.
Status ExtensionListDecode(ExtensionList* list, const uint8_t* der, uint32_t derLength);
// Adds one extension: `critical` 0 or 1, or kCriticalityDefault for the
// type's default; `value` is the extnValue octets. 1847 when the OID is
// already in the list.
inline constexpr uint32_t kCriticalityDefault = 0xFFFFFFFF;
Status ExtensionListAdd(ExtensionList* list, const uint8_t* oid, uint32_t oidLength, uint32_t critical,
                        const uint8_t* value, uint32_t valueLength);

// Lookups; all answer 1849 for a handle that is not an extension list and
// 1796 for an index past the end.
Status ExtensionListCount(const ExtensionList* list, uint32_t* count);
// 1800 when the OID is not in the list.
Status ExtensionListFind(const ExtensionList* list, const uint8_t* oid, uint32_t oidLength, uint32_t* index);
Status ExtensionListGetOid(const ExtensionList* list, uint32_t index, const uint8_t** oid, uint32_t* oidLength);
Status ExtensionListGetCritical(const ExtensionList* list, uint32_t index, uint32_t* critical);
// How many values the entry holds. An OID enters a list once, so every
// entry holds one; value indexes past it answer 1796.
Status ExtensionListValueCount(const ExtensionList* list, uint32_t index, uint32_t* count);
// The decoded value: cast to the struct of ExtensionValues.h its OID names.
Status ExtensionListGetValue(const ExtensionList* list, uint32_t index, uint32_t valueIndex, const void** value);
// Whether a critical extension without a row of its own is in the list.
Status ExtensionListHasUnrecognisedCritical(const ExtensionList* list, uint32_t* found);
// The Extensions DER rebuilt from the entries (minimal lengths, critical
// only when TRUE); the view lives until the list changes.
Status ExtensionListGetEncoding(ExtensionList* list, const uint8_t** der, uint32_t* derLength);

}  // namespace korva::toolkit
