#include "toolkit/ObjectVector.h"

#include <algorithm>
#include <cstring>

#include "runtime/MemoryService.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

constexpr uint32_t kGrowthStep = 8;

uint64_t RoundUpToStep(uint64_t n) {
    return (n + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
}

// Makes room for one more element. A failed reallocation leaves the old
// array in place: dropping it would lose the caller's elements.
Status Grow(ObjectArray& array, Growth growth) {
    uint64_t requested = growth == Growth::Doubling ? uint64_t{array.count} * 2 + 2 : uint64_t{array.count} + 1;
    uint64_t reserved = RoundUpToStep(std::max<uint64_t>(requested, array.count));
    if (reserved > UINT32_MAX) return kOutOfMemory;
    void* items = mem::ReallocateBuffer(array.items, reserved * sizeof(ObjectHeader*));
    if (items == nullptr) return kOutOfMemory;
    array.items = static_cast<ObjectHeader**>(items);
    array.capacity = static_cast<uint32_t>(reserved);
    return kOk;
}

void DestroyVector(ObjectHeader* object) {
    ObjectArrayClear(static_cast<ObjectVector*>(object)->array);
}

constexpr ObjectMethods kVectorMethods{DestroyVector};

bool IsVector(const void* handle) {
    return HasBodyTag(handle, kTagObjectVector);
}

}  // namespace

Status ObjectArrayInsert(ObjectArray& array, uint32_t position, ObjectHeader* element, Growth growth) {
    if (array.count == array.capacity) {
        if (Status status = Grow(array, growth); status != kOk) return status;
    }
    position = std::min(position, array.count);
    std::memmove(array.items + position + 1, array.items + position,
                 (array.count - position) * sizeof(ObjectHeader*));
    array.items[position] = element;
    ++array.count;
    return kOk;
}

void ObjectArrayRemove(ObjectArray& array, uint32_t index) {
    ObjectHeader* removed = array.items[index];
    std::memmove(array.items + index, array.items + index + 1, (array.count - index - 1) * sizeof(ObjectHeader*));
    --array.count;
    ObjectRelease(&removed);
}

void ObjectArrayClear(ObjectArray& array) {
    while (array.count > 0) ObjectArrayRemove(array, array.count - 1);
    mem::FreeBuffer(array.items);
    array.items = nullptr;
    array.capacity = 0;
}

Status ObjectVectorCreate(ObjectVector** outVector) {
    if (outVector == nullptr) return kInvalidArgument;
    *outVector = static_cast<ObjectVector*>(ObjectNewWithBodyTag(sizeof(ObjectVector), kTagObjectVector, &kVectorMethods));
    return *outVector != nullptr ? kOk : kOutOfMemory;
}

void ObjectVectorFree(ObjectVector** vector) {
    if (vector != nullptr && IsVector(*vector)) ObjectRelease(vector);
}

Status ObjectVectorInsert(ObjectVector* vector, ObjectHeader* object, uint32_t position) {
    if (!IsVector(vector) || object == nullptr) return kInvalidArgument;
    Status status = ObjectArrayInsert(vector->array, position, object, Growth::Doubling);
    if (status == kOk) ObjectRetain(object);
    return status;
}

Status ObjectVectorRemove(ObjectVector* vector, uint32_t index) {
    if (!IsVector(vector)) return kInvalidArgument;
    if (index >= vector->array.count) return kIndexOutOfRange;
    ObjectArrayRemove(vector->array, index);
    return kOk;
}

Status ObjectVectorCount(const ObjectVector* vector, uint32_t* count) {
    if (!IsVector(vector) || count == nullptr) return kInvalidArgument;
    *count = vector->array.count;
    return kOk;
}

Status ObjectVectorGet(const ObjectVector* vector, uint32_t index, ObjectHeader** object) {
    if (!IsVector(vector) || object == nullptr) return kInvalidArgument;
    if (index >= vector->array.count) return kIndexOutOfRange;
    *object = vector->array.items[index];
    return kOk;
}

}  // namespace korva::toolkit

