#include "toolkit/KeyObject.h"

#include <cstring>
#include <new>
#include <type_traits>

#include "runtime/MemoryService.h"
#include "toolkit/KeyMaterial.h"
#include "toolkit/Objects.h"
#include "toolkit/RsaKeyDer.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

// Freed as a raw buffer, so the core's key must need no destructor.
static_assert(std::is_trivially_destructible_v<crypto::RsaPublicKey>);
static_assert(alignof(KeyMaterial) <= mem::kBlockHeaderSize);

static_assert(offsetof(KeyObject, type) == 0 && offsetof(KeyObject, self) == sizeof(void*));

bool IsKey(const KeyObject* key) {
    return HasSelfMark(key, ~kKeyFormatMask, kKeyObjectMark);
}

uint32_t FormatOf(const KeyObject* key) {
    return key->type & kKeyFormatMask;
}

DerBytes View(const KeyBytes& bytes) {
    return bytes.data != nullptr ? DerBytes(bytes.data, bytes.length) : DerBytes();
}

KeyBytes Bytes(DerBytes view) {
    return KeyBytes{view.data(), static_cast<uint32_t>(view.size())};
}

DerBytes WithoutLeadingZeros(DerBytes bytes) {
    while (!bytes.empty() && bytes[0] == 0) bytes = bytes.subspan(1);
    return bytes;
}

// The modulus and exponent carried by `info` in `format`.
Status NumbersFrom(uint32_t format, const void* info, DerBytes& modulus, DerBytes& exponent) {
    if (info == nullptr) return kCoreInputMissing;
    if (format == kKeyFormatRsaNumbers) {
        const auto* numbers = static_cast<const RsaKeyNumbers*>(info);
        modulus = View(numbers->modulus);
        exponent = View(numbers->exponent);
        return modulus.empty() || exponent.empty() ? kCoreInputMissing : kOk;
    }
    DerBytes der = View(*static_cast<const KeyBytes*>(info));
    if (der.empty()) return kCoreInputMissing;
    if (format == kKeyFormatRsaSpki) {
        switch (ParseRsaSpki(der, der)) {
        case DerResult::Ok:
            break;
        case DerResult::OtherAlgorithm:
            return kCoreKeyFormatNotApplicable;
        case DerResult::Malformed:
            return kCoreBadValue;
        }
    }
    return ParseRsaPublicKey(der, modulus, exponent) == DerResult::Ok ? kOk : kCoreBadValue;
}

// Material for (modulus, exponent): the core's key and the canonical
// SubjectPublicKeyInfo, whose parts serve as the other two formats.
Status MakeMaterial(DerBytes modulus, DerBytes exponent, KeyMaterial** out) {
    modulus = WithoutLeadingZeros(modulus);
    exponent = WithoutLeadingZeros(exponent);
    crypto::RsaPublicKey rsa;
    if (modulus.empty() || exponent.empty() || rsa.Init(modulus, exponent) != crypto::RsaStatus::Ok) {
        return kCoreKeyUnusable;
    }
    size_t spkiLength = EncodeRsaSpki(modulus, exponent, {});
    void* block = mem::AllocateBuffer(sizeof(KeyMaterial) + spkiLength);
    if (block == nullptr) return kCoreOutOfMemory;
    auto* material = new (block) KeyMaterial{rsa, {}, {}, {}};
    std::span<uint8_t> spki(reinterpret_cast<uint8_t*>(material + 1), spkiLength);
    EncodeRsaSpki(modulus, exponent, spki);

    DerBytes rsaPublicKey;
    DerBytes n;
    DerBytes e;
    ParseRsaSpki(spki, rsaPublicKey);
    ParseRsaPublicKey(rsaPublicKey, n, e);
    material->spki = Bytes(spki);
    material->rsaPublicKey = Bytes(rsaPublicKey);
    material->numbers = RsaKeyNumbers{Bytes(WithoutLeadingZeros(n)), Bytes(e)};
    *out = material;
    return kOk;
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
        mem::FreeBuffer((*key)->material);
        (*key)->self = nullptr;
        mem::FreeBuffer(*key);
    }
    *key = nullptr;
}

Status KeyObjectSetInfo(KeyObject* key, uint32_t format, const void* info) {
    if (!IsKey(key)) return kCoreInvalidKey;
    if (format < kKeyFormatRsaSpki || format > kKeyFormatRsaNumbers) return kCoreKeyFormatNotApplicable;
    if (FormatOf(key) != kKeyFormatNone && FormatOf(key) != format) return kCoreKeyHoldsOtherFormat;
    DerBytes modulus;
    DerBytes exponent;
    if (Status status = NumbersFrom(format, info, modulus, exponent); status != kOk) return status;
    KeyMaterial* material = nullptr;
    if (Status status = MakeMaterial(modulus, exponent, &material); status != kOk) return status;
    mem::FreeBuffer(key->material);
    key->material = material;
    key->type = kKeyObjectMark | format;
    return kOk;
}

Status KeyObjectGetInfo(const void** info, const KeyObject* key, uint32_t format) {
    if (!IsKey(key)) return kCoreInvalidKey;
    if (info == nullptr) return kCoreInputMissing;
    if (key->material == nullptr) return kCoreDataMissing;
    switch (format) {
    case kKeyFormatRsaSpki:
        *info = &key->material->spki;
        return kOk;
    case kKeyFormatRsaPublicKey:
        *info = &key->material->rsaPublicKey;
        return kOk;
    case kKeyFormatRsaNumbers:
        *info = &key->material->numbers;
        return kOk;
    default:
        return kCoreKeyFormatNotApplicable;
    }
}

Status KeyObjectCopy(KeyObject* dest, const KeyObject* source) {
    if (!IsKey(dest) || !IsKey(source)) return kCoreInvalidKey;
    for (uint32_t format = kKeyFormatRsaSpki; format <= kKeyFormatCount; ++format) {
        const void* info = nullptr;
        Status status = KeyObjectGetInfo(&info, source, format);
        if (status == kOk) status = KeyObjectSetInfo(dest, format, info);
        status = StatusTranslate(status);
        if (status == kOk || status == kOutOfMemory || status == kCorePassedThrough) return status;
    }
    return kUnsupportedKeyFormat;
}

}  // namespace korva::toolkit
