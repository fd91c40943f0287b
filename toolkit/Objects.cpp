#include "toolkit/Objects.h"

#include <cstring>

#include "runtime/MemoryService.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

uint32_t HandleWord(const void* handle, size_t offset) {
    uint32_t word = 0;
    std::memcpy(&word, static_cast<const unsigned char*>(handle) + offset, sizeof word);
    return word;
}

bool HasHeaderTag(const void* handle, uint32_t tag) {
    return handle != nullptr && HandleWord(handle, offsetof(ObjectHeader, tag)) == tag;
}

bool HasBodyTag(const void* handle, uint32_t tag) {
    return HasHeaderTag(handle, tag) && HandleWord(handle, sizeof(ObjectHeader)) == tag;
}

namespace {

// The shape key and algorithm objects share.
struct SelfMarkedHead {
    uint32_t type;
    const void* self;
};

}  // namespace

bool HasSelfMark(const void* handle, uint32_t mask, uint32_t mark) {
    if (handle == nullptr) return false;
    const void* self = nullptr;
    std::memcpy(&self, static_cast<const unsigned char*>(handle) + offsetof(SelfMarkedHead, self), sizeof self);
    return (HandleWord(handle, offsetof(SelfMarkedHead, type)) & mask) == mark && self == handle;
}

ObjectHeader* ObjectNew(size_t size, uint32_t tag, const ObjectMethods* methods) {
    void* block = mem::AllocateBuffer(size);
    if (block == nullptr) return nullptr;
    std::memset(block, 0, size);
    auto* object = static_cast<ObjectHeader*>(block);
    object->methods = methods;
    object->references = 1;
    object->tag = tag;
    return object;
}

ObjectHeader* ObjectNewWithBodyTag(size_t size, uint32_t tag, const ObjectMethods* methods) {
    ObjectHeader* object = ObjectNew(size, tag, methods);
    if (object != nullptr) std::memcpy(reinterpret_cast<unsigned char*>(object) + sizeof(ObjectHeader), &tag, sizeof tag);
    return object;
}

void ObjectRelease(ObjectHeader** handle) {
    if (handle == nullptr || *handle == nullptr) return;
    ObjectHeader* object = *handle;
    *handle = nullptr;
    if (--object->references >= 1) return;
    if (object->methods != nullptr && object->methods->destroy != nullptr) object->methods->destroy(object);
    mem::FreeBuffer(object);
}

void ObjectRetain(ObjectHeader* object) {
    ++object->references;
}

Status ObjectAddRef(ObjectHeader* object, ObjectHeader** outHandle) {
    if (outHandle == nullptr) return kInvalidArgument;
    if (object == nullptr) {
        *outHandle = nullptr;
        return kOk;
    }
    if (!HasHeaderTag(object, kTagCertificate) && !HasHeaderTag(object, kTagCrl)) return kWrongObjectKind;
    ObjectRetain(object);
    *outHandle = object;
    return kOk;
}

}  // namespace korva::toolkit
