// Distinguished names (tag 1998): a private copy of the Name's DER and its
// attribute values in encoding order. Attribute views point into that copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/ByteReader.h"
#include "toolkit/Objects.h"

namespace korva::toolkit {

struct ToolkitContext;

struct NameAttribute {
    const uint8_t* type;  // the OBJECT IDENTIFIER's content octets
    uint32_t typeLength;
    uint32_t stringType;  // the value's universal tag number
    const uint8_t* value; // the value's content octets
    uint32_t valueLength;
    uint32_t firstInRdn;  // non-zero for the first value of each RDN
};

struct NameObject : ObjectHeader {
    uint32_t bodyTag;
    ToolkitContext* context;
    uint8_t* der;
    uint32_t derLength;
    NameAttribute* attributes;
    uint32_t count;
};

bool IsName(const void* handle);

// An empty name (no encoding, no attributes). 1799 for a null out handle.
Status NameCreate(ToolkitContext* context, NameObject** outName);
void NameFree(NameObject** name);

// 1814 for a handle that is not a name, 1795 for missing data, 1793 for a
// malformed Name: definite lengths only (NameEncode shows whether they were
// minimal), values primitive character strings, BMPString and UniversalString values
// whole characters, nothing after the Name. The empty SEQUENCE gives an
// empty name. On failure the name is left empty.
Status NameSetEncoding(NameObject* name, const uint8_t* der, uint32_t derLength);
// The stored DER; 1795 when the name has none.
Status NameGetEncoding(const NameObject* name, const uint8_t** der, uint32_t* derLength);
Status NameCount(const NameObject* name, uint32_t* count);
// 1796 past the end. The views live as long as the name's encoding.
Status NameGetAttribute(const NameObject* name, uint32_t index, NameAttribute* attribute);
// 0 when equal, -1 otherwise (also for handles that are not names).
int NameCompare(const NameObject* a, const NameObject* b);
// Whether two attribute values are equal under NameCompare's value rule.
bool NameValuesEqual(const NameAttribute& a, const NameAttribute& b);
// The same for any two attributes (type and value) NameCompare takes as equal.
uint64_t NameAttributeHash(const NameAttribute& attribute);

// The Name rebuilt from the attribute values, with minimal DER lengths:
// the length is returned; with an empty `out` it only measures, and 0 means
// that `out` is too short.
size_t NameEncode(const NameObject* name, std::span<uint8_t> out);

}  // namespace korva::toolkit
