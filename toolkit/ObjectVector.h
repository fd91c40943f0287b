// The storage of lists: a growable array of references to reference-counted
// objects, and the standalone object vector (tag 2002) built on it.
#pragma once

#include <cstdint>

#include "toolkit/Objects.h"

namespace korva::toolkit {

enum class Growth {
    ByOne,     // lists: room for one more, in steps of 8
    Doubling,  // the tag-2002 vector
};

struct ObjectArray {
    ObjectHeader** items;
    uint32_t count;
    uint32_t capacity;
};

// Puts `element` at `position` (clamped to the count), taking over the
// caller's reference on success. 1792 when the array cannot grow; the array
// then keeps its elements.
Status ObjectArrayInsert(ObjectArray& array, uint32_t position, ObjectHeader* element, Growth growth);
// Removes the element at `index` (< count) and releases it.
void ObjectArrayRemove(ObjectArray& array, uint32_t index);
// Releases every element and frees the array.
void ObjectArrayClear(ObjectArray& array);

struct ObjectVector : ObjectHeader {
    uint32_t bodyTag;
    ObjectArray array;
};

// The vector functions answer 1799 for a handle that is not tag 2002.
Status ObjectVectorCreate(ObjectVector** outVector);
void ObjectVectorFree(ObjectVector** vector);
// Stores a new reference to `object` at `position` (clamped to the count).
Status ObjectVectorInsert(ObjectVector* vector, ObjectHeader* object, uint32_t position);
Status ObjectVectorRemove(ObjectVector* vector, uint32_t index);
Status ObjectVectorCount(const ObjectVector* vector, uint32_t* count);
// The element is borrowed: no reference is added.
Status ObjectVectorGet(const ObjectVector* vector, uint32_t index, ObjectHeader** object);

}  // namespace korva::toolkit
