// Object lists (tag 2003): an object array whose elements are boxes, each
// holding one payload made by the copy function of a method pair and released
// by its destroy function when the box dies.
#pragma once

#include <cstdint>

#include "toolkit/ObjectVector.h"

namespace korva::toolkit {

struct ObjectListMethods {
    // Makes the payload that the list keeps from the caller's object.
    Status (*copy)(void* source, void** payload);
    void (*destroy)(void* payload);
};

// Certificates and CRLs by new reference (ObjectAddRef / ObjectRelease).
extern const ObjectListMethods kListByReference;

struct ObjectList : ObjectHeader {
    uint32_t bodyTag;
    ObjectArray boxes;
};

// Every list function answers 1846 for a handle that is not tag 2003.
Status ObjectListCreate(ObjectList** outList);
// Null handles and handles of another kind are ignored.
void ObjectListFree(ObjectList** list);
Status ObjectListCount(const ObjectList* list, uint32_t* count);
// The payload is borrowed, not referenced.
Status ObjectListGet(const ObjectList* list, uint32_t index, void** payload);
Status ObjectListRemove(ObjectList* list, uint32_t index);
Status ObjectListInsert(ObjectList* list, void* object, uint32_t position, const ObjectListMethods* methods);
// `outIndex` (may be null) receives the new element's index.
Status ObjectListAppend(ObjectList* list, void* object, uint32_t* outIndex, const ObjectListMethods* methods);

}  // namespace korva::toolkit
