#include "toolkit/DerElements.h"
#include "toolkit/ExtensionList.h"

#include <cstring>

#include "platform/ByteWriter.h"
#include "runtime/MemoryService.h"
#include "toolkit/Context.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/ObjectIdentifier.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

using platform::ByteReader;
using platform::ByteSpan;
using platform::ByteWriter;
using platform::DerElement;
using namespace der;

namespace {

// A critical flag encodes as 01 01 FF.
constexpr size_t kCriticalFlagSize = 3;

void FreeEntry(ExtensionEntry& entry) {
    if (entry.value != nullptr) entry.type.handlers.free(entry.value);
    mem::FreeBuffer(entry.oid);
    entry = ExtensionEntry{};
}

void DropCache(ExtensionList* list) {
    mem::FreeBuffer(list->der);
    list->der = nullptr;
    list->derLength = 0;
}

void ClearEntries(ExtensionList* list) {
    for (uint32_t i = 0; i < list->count; ++i) FreeEntry(list->entries[i]);
    list->count = 0;
    DropCache(list);
}

void DestroyList(ObjectHeader* object) {
    auto* list = static_cast<ExtensionList*>(object);
    ClearEntries(list);
    mem::FreeBuffer(list->entries);
}

constexpr ObjectMethods kListMethods = {DestroyList};

bool SameOid(const ExtensionEntry& entry, const uint8_t* oid, uint32_t oidLength) {
    return entry.oidLength == oidLength && std::memcmp(entry.oid, oid, oidLength) == 0;
}

bool Contains(const ExtensionList* list, const uint8_t* oid, uint32_t oidLength, uint32_t* index) {
    for (uint32_t i = 0; i < list->count; ++i) {
        if (SameOid(list->entries[i], oid, oidLength)) {
            if (index != nullptr) *index = i;
            return true;
        }
    }
    return false;
}

// The extensions a strict context wants critical when their type says so.
bool StrictlyCritical(const uint8_t* oid, uint32_t oidLength) {
    auto is = [&](const auto& known) { return oidLength == sizeof known && std::memcmp(oid, known, oidLength) == 0; };
    return is(oid::kDeltaCrlIndicator) || is(oid::kInhibitAnyPolicy) || is(oid::kNameConstraints) ||
           is(oid::kCertificateIssuer);
}

bool Reserve(ExtensionList* list) {
    if (list->count < list->capacity) return true;
    uint32_t capacity = list->capacity == 0 ? 8 : list->capacity * 2;
    auto* entries = static_cast<ExtensionEntry*>(mem::AllocateBuffer(capacity * sizeof(ExtensionEntry)));
    if (entries == nullptr) return false;
    if (list->count != 0) std::memcpy(entries, list->entries, list->count * sizeof(ExtensionEntry));
    mem::FreeBuffer(list->entries);
    list->entries = entries;
    list->capacity = capacity;
    return true;
}

// The checks an extension passes on its way into a list, then its value.
Status AddEntry(ExtensionList* list, ByteSpan oid, uint32_t critical, ByteSpan value, Status duplicate) {
    auto oidLength = static_cast<uint32_t>(oid.size());
    bool known = false;
    ExtensionTypeInfo type = ExtensionTypeResolve(list->registry, oid.data(), oidLength, &known);
    if (!known && critical == 1 && type.criticalityFree == 0) return kUnknownCriticalExtension;
    if ((type.allowedIn & list->kinds) == 0) return kExtensionNotAllowedHere;
    if (critical == kCriticalityDefault) {
        critical = type.defaultCritical;
    } else if (type.criticalityFree == 0 && critical != type.defaultCritical) {
        return kCriticalityMismatch;
    }
    if (critical == 0 && type.defaultCritical == 1 && StrictlyCritical(oid.data(), oidLength)) {
        uint32_t flags = 0;
        if (ContextGetFlags(list->context, &flags) != kOk) return kNoContextFlags;
        if ((flags & kContextFlagStrictCriticality) != 0) return kStrictCriticality;
    }
    if (Contains(list, oid.data(), oidLength, nullptr)) return duplicate;
    if (!Reserve(list)) return kOutOfMemory;
    ExtensionEntry entry{};
    if (Status status = type.handlers.decode(value.data(), static_cast<uint32_t>(value.size()), &entry.value);
        status != kOk) {
        return status;
    }
    entry.oid = static_cast<uint8_t*>(mem::AllocateBuffer(oidLength));
    if (entry.oid == nullptr) {
        type.handlers.free(entry.value);
        return kOutOfMemory;
    }
    std::memcpy(entry.oid, oid.data(), oidLength);
    entry.oidLength = oidLength;
    entry.critical = critical;
    entry.recognised = known ? 1 : 0;
    entry.type = type;
    entry.type.oid = entry.oid;
    list->entries[list->count++] = entry;
    list->modified = 1;
    DropCache(list);
    return kOk;
}

bool ReadContent(ByteReader& reader, uint8_t identifier, ByteSpan& content) {
    DerElement element;
    if (!ReadTagged(reader, identifier, element)) return false;
    content = element.content;
    return true;
}

// Extension ::= SEQUENCE { extnID, critical BOOLEAN DEFAULT FALSE, extnValue }
Status DecodeOne(ExtensionList* list, ByteReader& reader) {
    ByteSpan extension;
    ByteSpan oid;
    ByteSpan flag;
    ByteSpan value;
    if (!ReadContent(reader, kSequence, extension)) return kMalformedEncoding;
    ByteReader fields(extension);
    if (!ReadContent(fields, kOid, oid) || !OidWellFormed(oid)) return kMalformedEncoding;
    uint32_t critical = 0;
    uint8_t next = 0;
    if (fields.PeekU8(next) && next == kBoolean) {
        ByteReader flagReader;
        uint8_t octet = 0;
        if (!ReadContent(fields, kBoolean, flag)) return kMalformedEncoding;
        flagReader = ByteReader(flag);
        if (!flagReader.ReadU8(octet) || !flagReader.AtEnd()) return kMalformedEncoding;
        critical = octet != 0 ? 1 : 0;
    }
    if (!ReadContent(fields, kOctetString, value) || !fields.AtEnd()) return kMalformedEncoding;
    return AddEntry(list, oid, critical, value, kMalformedEncoding);
}

ByteSpan ValueDer(const ExtensionEntry& entry) {
    const uint8_t* der = nullptr;
    uint32_t length = 0;
    if (entry.type.handlers.encode(entry.value, &der, &length) != kOk) return {};
    return {der, length};
}

size_t ExtensionContentSize(const ExtensionEntry& entry) {
    return ElementSize(kTagOid, entry.oidLength) + (entry.critical != 0 ? kCriticalFlagSize : 0) +
           ElementSize(kTagOctetString, ValueDer(entry).size());
}

bool WriteExtension(ByteWriter& writer, const ExtensionEntry& entry) {
    ByteSpan value = ValueDer(entry);
    bool ok = writer.WriteDerHeader(kConstructed, kTagSequence, static_cast<uint32_t>(ExtensionContentSize(entry))) &&
              writer.WriteDerHeader(kUniversal, kTagOid, entry.oidLength) && writer.WriteBytes({entry.oid, entry.oidLength});
    if (ok && entry.critical != 0) ok = writer.WriteU8(kBoolean) && writer.WriteU8(1) && writer.WriteU8(0xFF);
    return ok && writer.WriteDerHeader(kUniversal, kTagOctetString, static_cast<uint32_t>(value.size())) &&
           writer.WriteBytes(value);
}

Status CheckIndex(const ExtensionList* list, uint32_t index) {
    if (!IsExtensionList(list)) return kInvalidExtensionList;
    return index < list->count ? kOk : kIndexOutOfRange;
}

}  // namespace

bool IsExtensionList(const void* handle) {
    return HasBodyTag(handle, kTagExtensionList);
}

Status ExtensionListCreate(void* contextOrRegistry, uint16_t kinds, ExtensionList** outList) {
    if (outList == nullptr) return kInvalidArgument;
    *outList = nullptr;
    ExtensionTypeRegistry* registry = nullptr;
    if (contextOrRegistry != nullptr) {
        registry = ExtensionTypeRegistryOf(contextOrRegistry);
        if (registry == nullptr) return kInvalidContext;
    }
    auto* list = static_cast<ExtensionList*>(
        ObjectNewWithBodyTag(sizeof(ExtensionList), kTagExtensionList, &kListMethods));
    if (list == nullptr) return kOutOfMemory;
    list->kinds = kinds;
    list->registry = registry;
    list->context = IsContext(contextOrRegistry) ? static_cast<ToolkitContext*>(contextOrRegistry)
                    : registry != nullptr        ? registry->context
                                                 : nullptr;
    *outList = list;
    return kOk;
}

void ExtensionListFree(ExtensionList** list) {
    if (list != nullptr && IsExtensionList(*list)) ObjectRelease(list);
}

Status ExtensionListClear(ExtensionList* list) {
    if (!IsExtensionList(list)) return kInvalidExtensionList;
    ClearEntries(list);
    list->modified = 1;
    return kOk;
}

Status ExtensionListDecode(ExtensionList* list, const uint8_t* der, uint32_t derLength) {
    if (!IsExtensionList(list)) return kInvalidExtensionList;
    ClearEntries(list);
    ByteReader outer(der, derLength);
    ByteSpan extensions;
    if (!ReadContent(outer, kSequence, extensions) || !outer.AtEnd() || extensions.empty()) return kMalformedEncoding;
    ByteReader reader(extensions);
    while (!reader.AtEnd()) {
        if (Status status = DecodeOne(list, reader); status != kOk) {
            ClearEntries(list);
            return status;
        }
    }
    list->modified = 0;
    return kOk;
}

Status ExtensionListAdd(ExtensionList* list, const uint8_t* oid, uint32_t oidLength, uint32_t critical,
                        const uint8_t* value, uint32_t valueLength) {
    if (!IsExtensionList(list)) return kInvalidExtensionList;
    if (oid == nullptr || oidLength == 0 || (critical > 1 && critical != kCriticalityDefault)) return kInvalidArgument;
    if (value == nullptr && valueLength != 0) return kInvalidArgument;
    return AddEntry(list, {oid, oidLength}, critical, {value, valueLength}, kDuplicateExtension);
}

Status ExtensionListCount(const ExtensionList* list, uint32_t* count) {
    if (!IsExtensionList(list)) return kInvalidExtensionList;
    if (count == nullptr) return kInvalidArgument;
    *count = list->count;
    return kOk;
}

Status ExtensionListFind(const ExtensionList* list, const uint8_t* oid, uint32_t oidLength, uint32_t* index) {
    if (!IsExtensionList(list)) return kInvalidExtensionList;
    if (oid == nullptr || index == nullptr) return kInvalidArgument;
    return Contains(list, oid, oidLength, index) ? kOk : kNotFound;
}

Status ExtensionListGetOid(const ExtensionList* list, uint32_t index, const uint8_t** oid, uint32_t* oidLength) {
    if (Status status = CheckIndex(list, index); status != kOk) return status;
    if (oid == nullptr || oidLength == nullptr) return kInvalidArgument;
    *oid = list->entries[index].oid;
    *oidLength = list->entries[index].oidLength;
    return kOk;
}

Status ExtensionListGetCritical(const ExtensionList* list, uint32_t index, uint32_t* critical) {
    if (Status status = CheckIndex(list, index); status != kOk) return status;
    if (critical == nullptr) return kInvalidArgument;
    *critical = list->entries[index].critical;
    return kOk;
}

Status ExtensionListValueCount(const ExtensionList* list, uint32_t index, uint32_t* count) {
    if (Status status = CheckIndex(list, index); status != kOk) return status;
    if (count == nullptr) return kInvalidArgument;
    *count = 1;
    return kOk;
}

Status ExtensionListGetValue(const ExtensionList* list, uint32_t index, uint32_t valueIndex, const void** value) {
    if (Status status = CheckIndex(list, index); status != kOk) return status;
    if (value == nullptr) return kInvalidArgument;
    if (valueIndex != 0) return kIndexOutOfRange;
    *value = list->entries[index].value;
    return kOk;
}

Status ExtensionListHasUnrecognisedCritical(const ExtensionList* list, uint32_t* found) {
    if (!IsExtensionList(list)) return kInvalidExtensionList;
    if (found == nullptr) return kInvalidArgument;
    *found = 0;
    for (uint32_t i = 0; i < list->count; ++i) {
        if (list->entries[i].critical != 0 && list->entries[i].recognised == 0) *found = 1;
    }
    return kOk;
}

Status ExtensionListGetEncoding(ExtensionList* list, const uint8_t** der, uint32_t* derLength) {
    if (!IsExtensionList(list)) return kInvalidExtensionList;
    if (der == nullptr || derLength == nullptr) return kInvalidArgument;
    if (list->der == nullptr) {
        size_t content = 0;
        for (uint32_t i = 0; i < list->count; ++i) content += ElementSize(kTagSequence, ExtensionContentSize(list->entries[i]));
        size_t total = ElementSize(kTagSequence, content);
        auto* buffer = static_cast<uint8_t*>(mem::AllocateBuffer(total));
        if (buffer == nullptr) return kOutOfMemory;
        ByteWriter writer({buffer, total});
        bool ok = writer.WriteDerHeader(kConstructed, kTagSequence, static_cast<uint32_t>(content));
        for (uint32_t i = 0; ok && i < list->count; ++i) ok = WriteExtension(writer, list->entries[i]);
        if (!ok) {
            mem::FreeBuffer(buffer);
            return kMalformedEncoding;
        }
        list->der = buffer;
        list->derLength = static_cast<uint32_t>(total);
    }
    *der = list->der;
    *derLength = list->derLength;
    return kOk;
}

}  // namespace korva::toolkit
