#include "toolkit/KeyObject.h"

#include <cstring>

#include "engine/MemoryService.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

bool IsKey(const KeyObject* key) {
    if (key == nullptr) return false;
    // Copied out: the handle's kind is not known yet.
    uint32_t type = 0;
    const KeyObject* self = nullptr;
    std::memcpy(&type, &key->type, sizeof type);
    std::memcpy(&self, &key->self, sizeof self);
    return (type & ~kKeyFormatMask) == kKeyObjectMark && self == key;
}

}  // namespace

Status KeyObjectCreate(KeyObject** outKey) {
    if (outKey == nullptr) return kCoreInvalidKey;
    auto* key = static_cast<KeyObject*>(mem::AllocateBuffer(sizeof(KeyObject)));
    *outKey = key;
    if (key == nullptr) return kCoreOutOfMemory;
    *key = KeyObject{kKeyObjectMark | kKeyFormatNone, key, nullptr};
    return kOk;
}

Status KeyObjectCheck(const KeyObject* key) {
    return key == nullptr || IsKey(key) ? kOk : kCoreInvalidKey;
}

void KeyObjectFree(KeyObject** key) {
    if (key == nullptr) return;
    if (IsKey(*key)) {
        (*key)->self = nullptr;
        mem::FreeBuffer(*key);
    }
    *key = nullptr;
}

}  // namespace korva::toolkit
