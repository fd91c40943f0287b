#include "toolkit/ByteStringList.h"

#include <cstring>

#include "runtime/MemoryService.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

Status CopyByteString(void* source, void** payload) {
    const auto* bytes = static_cast<const ByteString*>(source);
    void* copy = mem::AllocateBuffer(bytes->length);
    if (copy == nullptr) return kOutOfMemory;
    if (bytes->length != 0) std::memcpy(copy, bytes->data, bytes->length);
    *payload = copy;
    return kOk;
}

void FreeByteString(void* payload) {
    mem::FreeBuffer(payload);
}

}  // namespace

const ObjectListMethods kListByteStringCopy{CopyByteString, FreeByteString};

Status ByteStringListAppend(ObjectList* list, ByteString bytes, uint32_t* outIndex) {
    return ObjectListAppend(list, &bytes, outIndex, &kListByteStringCopy);
}

Status ByteStringListGet(const ObjectList* list, uint32_t index, ByteString* bytes) {
    void* payload = nullptr;
    if (Status status = ObjectListGet(list, index, &payload); status != kOk) return status;
    *bytes = ByteString{static_cast<const uint8_t*>(payload), static_cast<uint32_t>(mem::BufferSize(payload))};
    return kOk;
}

Status ByteStringListFind(const ObjectList* list, ByteString bytes, uint32_t* index) {
    uint32_t count = 0;
    if (Status status = ObjectListCount(list, &count); status != kOk) return status;
    for (uint32_t i = 0; i < count; ++i) {
        ByteString element{};
        if (Status status = ByteStringListGet(list, i, &element); status != kOk) return status;
        if (ByteStringsEqual(element, bytes)) {
            *index = i;
            return kOk;
        }
    }
    return kNotFound;
}

bool ByteStringsEqual(ByteString a, ByteString b) {
    return a.length == b.length && (a.length == 0 || std::memcmp(a.data, b.data, a.length) == 0);
}

}  // namespace korva::toolkit
