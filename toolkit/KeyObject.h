// Key objects of the cryptographic core. They carry no object header: the
// type word holds 0x15 in bits 16-23 and the key format in the low byte, and
// the object points at itself; it is valid only when both hold.
#pragma once

#include <cstdint>

#include "toolkit/Status.h"

namespace korva::toolkit {

inline constexpr uint32_t kKeyObjectMark = 0x150000;
inline constexpr uint32_t kKeyFormatMask = 0xFF;
inline constexpr uint32_t kKeyFormatNone = 0;

struct KeyMaterial;

struct KeyObject {
    uint32_t type;  // kKeyObjectMark | format
    KeyObject* self;
    KeyMaterial* material;  // null while the key is empty
};

Status KeyObjectCreate(KeyObject** outKey);
// Null is accepted; anything else must carry the mark and point at itself.
Status KeyObjectCheck(const KeyObject* key);
// Invalid or null handles are only cleared.
void KeyObjectFree(KeyObject** key);

}  // namespace korva::toolkit
