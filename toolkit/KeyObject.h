// Key objects of the cryptographic core. They carry no object header: the
// type word holds 0x15 in bits 16-23 and the key format in the low byte, and
// the object points at itself; it is valid only when both hold.
//
// The core offers RSA public keys, in three formats numbered in the order
// KeyObjectCopy tries them: the most complete encoding first.
//   1  SubjectPublicKeyInfo DER for rsaEncryption     info: const KeyBytes*
//   2  RSAPublicKey DER (PKCS #1)                      info: const KeyBytes*
//   3  modulus and public exponent, big-endian         info: const RsaKeyNumbers*
// An RSA key gives its information out in any of the three, whichever it was
// set from. Formats 4 and 5 are kept for DSA public keys, which the core does
// not offer: they never apply (517).
#pragma once

#include <cstdint>

#include "toolkit/Status.h"

namespace korva::toolkit {

inline constexpr uint32_t kKeyObjectMark = 0x150000;
inline constexpr uint32_t kKeyFormatMask = 0xFF;
inline constexpr uint32_t kKeyFormatNone = 0;
inline constexpr uint32_t kKeyFormatRsaSpki = 1;
inline constexpr uint32_t kKeyFormatRsaPublicKey = 2;
inline constexpr uint32_t kKeyFormatRsaNumbers = 3;
inline constexpr uint32_t kKeyFormatDsaOiw = 4;
inline constexpr uint32_t kKeyFormatDsa = 5;
inline constexpr uint32_t kKeyFormatCount = 5;

struct KeyBytes {
    const uint8_t* data;
    uint32_t length;
};

struct RsaKeyNumbers {
    KeyBytes modulus;
    KeyBytes exponent;
};

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

// Fills the key from information in `format`. 526 when the key already holds
// a key of another format (one of the same format is replaced), 517 when the
// format does not apply, 536 for a malformed encoding, 528 for a key the core
// cannot use (modulus of 512 to 4096 bits, odd; exponent odd, 3 or more,
// below the modulus), 524 for missing information.
Status KeyObjectSetInfo(KeyObject* key, uint32_t format, const void* info);
// The key's information in `format`; it lives as long as the key holds it.
Status KeyObjectGetInfo(const void** info, const KeyObject* key, uint32_t format);
// Copies `source` into `dest` through the first format, in format order, that
// `source` gives and `dest` takes. Certificate-layer codes: 1792 and 1794 stop
// the attempt, 1822 when no format works.
Status KeyObjectCopy(KeyObject* dest, const KeyObject* source);

}  // namespace korva::toolkit
