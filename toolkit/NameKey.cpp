#include "toolkit/NameKey.h"

namespace korva::toolkit {

namespace {

constexpr uint64_t kSingleValued = 0x5349;
constexpr uint64_t kMultiValued = 0x4D55;

uint64_t Mix(uint64_t hash, uint64_t value) {
    hash ^= value + 0x9E3779B97F4A7C15 + (hash << 6) + (hash >> 2);
    return hash * 0xFF51AFD7ED558CCD;
}

bool SingleValued(const NameObject* name) {
    for (uint32_t i = 0; i < name->count; ++i) {
        if (name->attributes[i].firstInRdn == 0) return false;
    }
    return true;
}

// Every attribute in order: two names of single-valued RDNs that
// NameCompare accepts pair their attributes one to one.
uint64_t WholeNameKey(const NameObject* name) {
    uint64_t key = Mix(kSingleValued, name->count);
    for (uint32_t i = 0; i < name->count; ++i) {
        key = Mix(key, name->attributes[i].firstInRdn);
        key = Mix(key, NameAttributeHash(name->attributes[i]));
    }
    return key;
}

uint64_t AttributeKey(const NameObject* name, uint64_t attributeHash) {
    return Mix(Mix(kMultiValued, name->count), attributeHash);
}

}  // namespace

uint64_t NameStoredKey(const NameObject* name) {
    if (!IsName(name)) return 0;
    if (SingleValued(name)) return WholeNameKey(name);
    uint64_t least = NameAttributeHash(name->attributes[0]);
    for (uint32_t i = 1; i < name->count; ++i) {
        uint64_t hash = NameAttributeHash(name->attributes[i]);
        if (hash < least) least = hash;
    }
    return AttributeKey(name, least);
}

uint32_t NameLookupKeyCount(const NameObject* name) {
    return IsName(name) ? name->count + 1 : 0;
}

uint64_t NameLookupKey(const NameObject* name, uint32_t index) {
    if (index == name->count) return WholeNameKey(name);
    return AttributeKey(name, NameAttributeHash(name->attributes[index]));
}

uint64_t NameKeyWithSerial(uint64_t nameKey, const uint8_t* serial, uint32_t serialLength) {
    uint64_t key = Mix(nameKey, serialLength);
    for (uint32_t i = 0; i < serialLength; ++i) key = Mix(key, serial[i]);
    return key;
}

}  // namespace korva::toolkit
