#include "toolkit/DerElements.h"
#include "toolkit/Name.h"

#include <cstring>

#include "platform/ByteWriter.h"
#include "runtime/MemoryService.h"
#include "toolkit/NameAttributeTable.h"
#include "toolkit/ObjectIdentifier.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

using platform::ByteReader;
using platform::ByteSpan;
using platform::ByteWriter;
using platform::DerElement;
using namespace der;

namespace {

constexpr uint32_t kUtf8String = 12;
constexpr uint32_t kUniversalString = 28;
constexpr uint32_t kBmpString = 30;
constexpr uint32_t kPrintableString = 19;

void DestroyName(ObjectHeader* object);
constexpr ObjectMethods kNameMethods = {DestroyName};

void DropEncoding(NameObject* name) {
    mem::FreeBuffer(name->der);
    mem::FreeBuffer(name->attributes);
    name->der = nullptr;
    name->derLength = 0;
    name->attributes = nullptr;
    name->count = 0;
}

void DestroyName(ObjectHeader* object) {
    DropEncoding(static_cast<NameObject*>(object));
}

// The character string types an attribute value may take: those of
// DirectoryString, and NumericString and IA5String.
bool IsStringType(uint32_t tag) {
    switch (tag) {
    case kUtf8String:
    case 18:  // NumericString
    case 19:  // PrintableString
    case 20:  // TeletexString
    case 22:  // IA5String
    case kUniversalString:
    case kBmpString:
        return true;
    default:
        return false;
    }
}

bool IsScalarValue(uint32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Well-formed UTF-8: shortest forms of Unicode scalar values only.
bool ValidUtf8(ByteSpan text) {
    ByteReader reader(text);
    uint8_t lead = 0;
    while (reader.ReadU8(lead)) {
        if (lead < 0x80) continue;
        int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (more == 0 || lead > 0xF4) return false;
        uint32_t c = lead & (0x3F >> more);
        for (int i = 0; i < more; ++i) {
            uint8_t next = 0;
            if (!reader.ReadU8(next) || (next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (c < kSmallest[more] || !IsScalarValue(c)) return false;
    }
    return true;
}

// BMPString (2 octets) and UniversalString (4 octets): whole characters,
// each a Unicode scalar value.
bool ValidWideString(ByteSpan text, size_t width) {
    if (text.size() % width != 0) return false;
    ByteReader reader(text);
    for (;;) {
        uint16_t narrow = 0;
        uint32_t wide = 0;
        bool more = width == 2 ? reader.ReadU16Be(narrow) : reader.ReadU32Be(wide);
        if (!more) return true;
        if (!IsScalarValue(width == 2 ? narrow : wide)) return false;
    }
}

// A value must be a primitive character string of valid characters.
bool AcceptableValue(const DerElement& value) {
    const platform::DerHeader& header = value.header;
    if (header.identifier != header.tag || !IsStringType(header.tag)) return false;
    switch (header.tag) {
    case kUtf8String:
        return ValidUtf8(value.content);
    case kBmpString:
        return ValidWideString(value.content, 2);
    case kUniversalString:
        return ValidWideString(value.content, 4);
    default:
        return true;
    }
}

// Walks a Name: with `out` null only counts its attribute values.
bool ParseName(ByteSpan der, NameAttribute* out, uint32_t& count) {
    ByteReader reader(der);
    DerElement name;
    if (!ReadTagged(reader, kSequence, name) || !reader.AtEnd()) return false;
    count = 0;
    ByteReader rdns(name.content);
    while (!rdns.AtEnd()) {
        DerElement rdn;
        if (!ReadTagged(rdns, kSet, rdn) || rdn.content.empty()) return false;
        ByteReader values(rdn.content);
        bool first = true;
        while (!values.AtEnd()) {
            DerElement pair;
            DerElement type;
            DerElement value;
            if (!ReadTagged(values, kSequence, pair)) return false;
            ByteReader fields(pair.content);
            if (!ReadTagged(fields, kOid, type) || !OidWellFormed(type.content)) return false;
            if (fields.ReadDerElement(value, platform::DerRules::kBer) != platform::DerError::kNone || !fields.AtEnd()) return false;
            if (!AcceptableValue(value)) return false;
            if (out != nullptr) {
                out[count] = NameAttribute{type.content.data(), static_cast<uint32_t>(type.content.size()),
                                           value.header.tag, value.content.data(),
                                           static_cast<uint32_t>(value.content.size()), first ? 1u : 0u};
            }
            first = false;
            ++count;
        }
    }
    return true;
}

// PrintableString comparison walks both values through this cursor: spaces
// at either end vanish, a run of spaces reads as one, letters fold to lower
// case. Anything outside PrintableString ends the walk in error.
class PrintableCursor {
public:
    explicit PrintableCursor(const NameAttribute& attribute) : reader_(attribute.value, attribute.valueLength) {
        SkipSpaces();
    }
    // 1: `c` holds the next character; 0: the end; -1: a character that is
    // not PrintableString.
    int Next(uint8_t& c) {
        if (!reader_.ReadU8(c)) return 0;
        if (c == ' ') {
            SkipSpaces();
            if (reader_.AtEnd()) return 0;
            return 1;
        }
        if (!IsPrintableStringChar(c)) return -1;
        if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
        return 1;
    }

private:
    void SkipSpaces() {
        uint8_t c = 0;
        while (reader_.PeekU8(c) && c == ' ' && reader_.Skip(1)) {
        }
    }
    ByteReader reader_;
};

bool PrintableEqual(const NameAttribute& a, const NameAttribute& b) {
    PrintableCursor left(a);
    PrintableCursor right(b);
    for (;;) {
        uint8_t x = 0;
        uint8_t y = 0;
        int l = left.Next(x);
        int r = right.Next(y);
        if (l < 0 || r < 0 || l != r) return false;
        if (l == 0) return true;
        if (x != y) return false;
    }
}

// FNV-1a, one octet at a time.
constexpr uint64_t kHashPrime = 0x100000001B3;

uint64_t HashByte(uint64_t hash, uint8_t byte) {
    return (hash ^ byte) * kHashPrime;
}

uint64_t HashBytes(uint64_t hash, const uint8_t* bytes, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) hash = HashByte(hash, bytes[i]);
    return hash;
}

// A PrintableString value as its cursor reads it; one that is not
// PrintableString equals nothing, so where its hash stops does not matter.
uint64_t HashPrintable(uint64_t hash, const NameAttribute& attribute) {
    PrintableCursor cursor(attribute);
    uint8_t c = 0;
    while (cursor.Next(c) > 0) hash = HashByte(hash, c);
    return hash;
}

bool BytesEqual(const uint8_t* a, uint32_t aLength, const uint8_t* b, uint32_t bLength) {
    return aLength == bLength && (aLength == 0 || std::memcmp(a, b, aLength) == 0);
}

bool ValuesEqual(const NameAttribute& a, const NameAttribute& b) {
    if (a.stringType != b.stringType) return false;
    if (a.stringType == kPrintableString) return PrintableEqual(a, b);
    return BytesEqual(a.value, a.valueLength, b.value, b.valueLength);
}

bool AttributesEqual(const NameAttribute& a, const NameAttribute& b) {
    return BytesEqual(a.type, a.typeLength, b.type, b.typeLength) && ValuesEqual(a, b);
}

size_t AttributeContentSize(const NameAttribute& attribute) {
    return ElementSize(kTagOid, attribute.typeLength) + ElementSize(attribute.stringType, attribute.valueLength);
}

// The content length of the RDN that starts at `first`, and where the next begins.
size_t RdnContentSize(const NameObject* name, uint32_t first, uint32_t& end) {
    size_t size = 0;
    end = first;
    do {
        size += ElementSize(kTagSequence, AttributeContentSize(name->attributes[end]));
        ++end;
    } while (end < name->count && name->attributes[end].firstInRdn == 0);
    return size;
}

bool WriteAttribute(ByteWriter& writer, const NameAttribute& attribute) {
    return writer.WriteDerHeader(kConstructed, kTagSequence, static_cast<uint32_t>(AttributeContentSize(attribute))) &&
           writer.WriteDerHeader(kUniversal, kTagOid, attribute.typeLength) &&
           writer.WriteBytes({attribute.type, attribute.typeLength}) &&
           writer.WriteDerHeader(kUniversal, attribute.stringType, attribute.valueLength) &&
           writer.WriteBytes({attribute.value, attribute.valueLength});
}

}  // namespace

bool IsName(const void* handle) {
    return HasBodyTag(handle, kTagName);
}

Status NameCreate(ToolkitContext* context, NameObject** outName) {
    if (outName == nullptr) return kInvalidArgument;
    auto* name = static_cast<NameObject*>(ObjectNewWithBodyTag(sizeof(NameObject), kTagName, &kNameMethods));
    *outName = name;
    if (name == nullptr) return kOutOfMemory;
    name->context = context;
    return kOk;
}

void NameFree(NameObject** name) {
    if (name != nullptr && IsName(*name)) ObjectRelease(name);
}

Status NameSetEncoding(NameObject* name, const uint8_t* der, uint32_t derLength) {
    if (!IsName(name)) return kInvalidName;
    DropEncoding(name);
    if (der == nullptr || derLength == 0) return kDataMissing;
    uint32_t count = 0;
    if (!ParseName({der, derLength}, nullptr, count)) return kMalformedEncoding;
    auto* copy = static_cast<uint8_t*>(mem::AllocateBuffer(derLength));
    auto* attributes = static_cast<NameAttribute*>(mem::AllocateBuffer(count * sizeof(NameAttribute) + 1));
    if (copy == nullptr || attributes == nullptr) {
        mem::FreeBuffer(copy);
        mem::FreeBuffer(attributes);
        return kOutOfMemory;
    }
    std::memcpy(copy, der, derLength);
    ParseName({copy, derLength}, attributes, count);
    name->der = copy;
    name->derLength = derLength;
    name->attributes = attributes;
    name->count = count;
    return kOk;
}

Status NameGetEncoding(const NameObject* name, const uint8_t** der, uint32_t* derLength) {
    if (!IsName(name)) return kInvalidName;
    if (der == nullptr || derLength == nullptr) return kInvalidArgument;
    if (name->der == nullptr) return kDataMissing;
    *der = name->der;
    *derLength = name->derLength;
    return kOk;
}

Status NameCount(const NameObject* name, uint32_t* count) {
    if (!IsName(name)) return kInvalidName;
    if (count == nullptr) return kInvalidArgument;
    *count = name->count;
    return kOk;
}

Status NameGetAttribute(const NameObject* name, uint32_t index, NameAttribute* attribute) {
    if (!IsName(name)) return kInvalidName;
    if (attribute == nullptr) return kInvalidArgument;
    if (index >= name->count) return kIndexOutOfRange;
    *attribute = name->attributes[index];
    return kOk;
}

bool NameValuesEqual(const NameAttribute& a, const NameAttribute& b) {
    return ValuesEqual(a, b);
}

uint64_t NameAttributeHash(const NameAttribute& attribute) {
    // The type's length keeps its octets apart from the value's.
    uint64_t hash = HashByte(0xCBF29CE484222325, static_cast<uint8_t>(attribute.typeLength));
    hash = HashByte(HashBytes(hash, attribute.type, attribute.typeLength), static_cast<uint8_t>(attribute.stringType));
    if (attribute.stringType == kPrintableString) return HashPrintable(hash, attribute);
    return HashBytes(hash, attribute.value, attribute.valueLength);
}

int NameCompare(const NameObject* a, const NameObject* b) {
    if (!IsName(a) || !IsName(b) || a->count != b->count) return -1;
    uint32_t rdnStart = 0;
    for (uint32_t i = 0; i < a->count; ++i) {
        if (a->attributes[i].firstInRdn != 0) rdnStart = i;
        if (b->attributes[rdnStart].firstInRdn == 0) return -1;
        bool found = false;
        for (uint32_t j = rdnStart; j < b->count && !found; ++j) {
            if (j > rdnStart && b->attributes[j].firstInRdn != 0) break;
            found = AttributesEqual(a->attributes[i], b->attributes[j]);
        }
        if (!found) return -1;
    }
    return 0;
}

size_t NameEncode(const NameObject* name, std::span<uint8_t> out) {
    size_t content = 0;
    for (uint32_t i = 0, end = 0; i < name->count; i = end) content += ElementSize(kTagSet, RdnContentSize(name, i, end));
    size_t total = ElementSize(kTagSequence, content);
    if (out.empty()) return total;
    ByteWriter writer(out);
    bool ok = writer.WriteDerHeader(kConstructed, kTagSequence, static_cast<uint32_t>(content));
    for (uint32_t i = 0, end = 0; ok && i < name->count; i = end) {
        ok = writer.WriteDerHeader(kConstructed, kTagSet, static_cast<uint32_t>(RdnContentSize(name, i, end)));
        for (uint32_t j = i; ok && j < end; ++j) ok = WriteAttribute(writer, name->attributes[j]);
    }
    return ok ? total : 0;
}

}  // namespace korva::toolkit
