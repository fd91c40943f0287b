// The key store of the in-memory database: identifiers (byte strings) and
// copies of the keys, in two lists kept parallel by index.
#include "toolkit/ByteStringList.h"
#include "toolkit/Certificate.h"
#include "toolkit/ImdbStore.h"
#include "toolkit/KeyObject.h"

namespace korva::toolkit {

namespace {

Status CopyKey(void* source, void** payload) {
    KeyObject* copy = nullptr;
    Status status = StatusTranslate(KeyObjectCreate(&copy));
    if (status == kOk) status = KeyObjectCopy(copy, static_cast<const KeyObject*>(source));
    if (status != kOk) {
        KeyObjectFree(&copy);
        return status;
    }
    *payload = copy;
    return kOk;
}

void FreeKey(void* payload) {
    auto* key = static_cast<KeyObject*>(payload);
    KeyObjectFree(&key);
}

constexpr ObjectListMethods kKeyCopy{CopyKey, FreeKey};

// The handle with both key lists present, or the reported failure.
Status KeyStore(ToolkitContext* context, void* handle, ImdbHandle** imdb, const char* file, uint32_t line) {
    if (Status status = ImdbHandleCheck(context, handle, imdb, file, line); status != kOk) return status;
    if ((*imdb)->keyIds == nullptr || (*imdb)->keys == nullptr) {
        return ImdbReport(context, kWrongObjectKind, file, line, nullptr);
    }
    return kOk;
}

Status FindIdentifier(const ImdbHandle* imdb, const uint8_t* keyId, uint32_t keyIdLength, uint32_t* index) {
    return ByteStringListFind(imdb->keyIds, ByteString{keyId, keyIdLength}, index);
}

// The identifier of the key a certificate carries: its subjectPublicKeyInfo.
Status CertKeyId(const CertObject* cert, ByteString* keyId) {
    CertFields fields{};
    if (Status status = CertGetFields(cert, &fields); status != kOk) return status;
    *keyId = ByteString{fields.subjectPublicKeyInfo.data, fields.subjectPublicKeyInfo.length};
    return kOk;
}

Status HandOutKey(const ImdbHandle* imdb, uint32_t index, KeyObject* outKey) {
    void* key = nullptr;
    if (Status status = ObjectListGet(imdb->keys, index, &key); status != kOk) return status;
    return KeyObjectCopy(outKey, static_cast<const KeyObject*>(key));
}

Status KeyWalk(ToolkitContext* context, void* handle, ImdbIterator* iterator, KeyObject* outKey, bool first) {
    ImdbHandle* imdb = nullptr;
    if (Status status = KeyStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    return ImdbWalk(context, imdb->keys, iterator, first,
                    [&](uint32_t index) { return HandOutKey(imdb, index, outKey); });
}

}  // namespace

Status ImdbInsertKey(ToolkitContext* context, void* handle, const uint8_t* keyId, uint32_t keyIdLength,
                     const KeyObject* key) {
    ImdbHandle* imdb = nullptr;
    if (Status status = KeyStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    uint32_t index = 0;
    Status found = FindIdentifier(imdb, keyId, keyIdLength, &index);
    if (found != kNotFound) return found;
    if (Status status = ByteStringListAppend(imdb->keyIds, ByteString{keyId, keyIdLength}, &index); status != kOk) {
        return status;
    }
    Status status = ObjectListAppend(imdb->keys, const_cast<KeyObject*>(key), nullptr, &kKeyCopy);
    if (status != kOk) ObjectListRemove(imdb->keyIds, index);
    return status;
}

Status ImdbInsertKeyForCert(ToolkitContext* context, void* handle, const CertObject* cert, const KeyObject* key) {
    ByteString keyId{};
    if (Status status = CertKeyId(cert, &keyId); status != kOk) return status;
    return ImdbInsertKey(context, handle, keyId.data, keyId.length, key);
}

Status ImdbGetKey(ToolkitContext* context, void* handle, const uint8_t* keyId, uint32_t keyIdLength,
                  KeyObject* outKey) {
    ImdbHandle* imdb = nullptr;
    if (Status status = KeyStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    uint32_t index = 0;
    if (Status status = FindIdentifier(imdb, keyId, keyIdLength, &index); status != kOk) return status;
    return HandOutKey(imdb, index, outKey);
}

Status ImdbGetKeyForCert(ToolkitContext* context, void* handle, const CertObject* cert, KeyObject* outKey) {
    ByteString keyId{};
    if (Status status = CertKeyId(cert, &keyId); status != kOk) return status;
    return ImdbGetKey(context, handle, keyId.data, keyId.length, outKey);
}

Status ImdbFirstKey(ToolkitContext* context, void* handle, ImdbIterator* iterator, KeyObject* outKey) {
    return KeyWalk(context, handle, iterator, outKey, true);
}

Status ImdbNextKey(ToolkitContext* context, void* handle, ImdbIterator* iterator, KeyObject* outKey) {
    return KeyWalk(context, handle, iterator, outKey, false);
}

Status ImdbDeleteKey(ToolkitContext* context, void* handle, const uint8_t* keyId, uint32_t keyIdLength) {
    ImdbHandle* imdb = nullptr;
    if (Status status = KeyStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    uint32_t index = 0;
    if (Status status = FindIdentifier(imdb, keyId, keyIdLength, &index); status != kOk) return status;
    if (Status status = ObjectListRemove(imdb->keyIds, index); status != kOk) return status;
    return ObjectListRemove(imdb->keys, index);
}

Status ImdbDeleteKeyForCert(ToolkitContext* context, void* handle, const CertObject* cert) {
    ByteString keyId{};
    if (Status status = CertKeyId(cert, &keyId); status != kOk) return status;
    return ImdbDeleteKey(context, handle, keyId.data, keyId.length);
}

}  // namespace korva::toolkit
