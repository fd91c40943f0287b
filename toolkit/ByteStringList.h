// Object lists of byte strings (key identifiers, policy OIDs): each element
// is a private copy in a memory-service buffer, whose size the service keeps.
#pragma once

#include <cstdint>

#include "toolkit/ObjectList.h"

namespace korva::toolkit {

struct ByteString {
    const uint8_t* data;
    uint32_t length;
};

// The copy method pair; the source object is a ByteString.
extern const ObjectListMethods kListByteStringCopy;

Status ByteStringListAppend(ObjectList* list, ByteString bytes, uint32_t* outIndex);
// Element `index` as a view that lives as long as the element.
Status ByteStringListGet(const ObjectList* list, uint32_t index, ByteString* bytes);
// The index of an element equal to `bytes` (same length and octets), or 1800.
Status ByteStringListFind(const ObjectList* list, ByteString bytes, uint32_t* index);

bool ByteStringsEqual(ByteString a, ByteString b);

}  // namespace korva::toolkit
