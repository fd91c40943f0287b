#include "toolkit/NameAttributeTable.h"

#include <cstring>

#include "platform/ByteReader.h"

namespace korva::toolkit {

namespace {

constexpr uint32_t kUtf8String = 12;
constexpr uint32_t kPrintableString = 19;
constexpr uint32_t kTeletexString = 20;
constexpr uint32_t kIa5String = 22;
constexpr uint32_t kUniversalString = 28;
constexpr uint32_t kBmpString = 30;

constexpr uint32_t kNoLimit = 0;

// How an attribute's values are bounded.
enum class Syntax : uint8_t {
    Printable,        // PrintableString only
    Ia5,              // IA5String only
    DirectoryString,  // the limit depends on the string type
};

struct AttributeRule {
    uint8_t oidLength;
    uint8_t oid[10];
    Syntax syntax;
    uint32_t minimum;
    uint32_t upperBound;  // characters; kNoLimit for none
};

constexpr AttributeRule kRules[] = {
    {3, {0x55, 0x04, 0x06}, Syntax::Printable, 2, 2},        // countryName
    {3, {0x55, 0x04, 0x05}, Syntax::Printable, 1, 64},       // serialNumber
    {3, {0x55, 0x04, 0x2E}, Syntax::Printable, 1, kNoLimit}, // dnQualifier
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01}, Syntax::Ia5, 1, 128},              // emailAddress
    {10, {0x09, 0x92, 0x26, 0x89, 0x93, 0xF2, 0x2C, 0x64, 0x01, 0x19}, Syntax::Ia5, 1, 64},       // domainComponent
    {3, {0x55, 0x04, 0x08}, Syntax::DirectoryString, 1, 128},    // stateOrProvinceName
    {3, {0x55, 0x04, 0x07}, Syntax::DirectoryString, 1, 128},    // localityName
    {3, {0x55, 0x04, 0x0A}, Syntax::DirectoryString, 1, 64},     // organizationName
    {3, {0x55, 0x04, 0x0B}, Syntax::DirectoryString, 1, 64},     // organizationalUnitName
    {3, {0x55, 0x04, 0x03}, Syntax::DirectoryString, 1, 512},    // commonName
    {3, {0x55, 0x04, 0x0C}, Syntax::DirectoryString, 1, 64},     // title
    {3, {0x55, 0x04, 0x09}, Syntax::DirectoryString, 1, 128},    // streetAddress
    {3, {0x55, 0x04, 0x11}, Syntax::DirectoryString, 1, 40},     // postalCode
    {3, {0x55, 0x04, 0x04}, Syntax::DirectoryString, 1, 32768},  // surname
    {3, {0x55, 0x04, 0x2A}, Syntax::DirectoryString, 1, 32768},  // givenName
    {3, {0x55, 0x04, 0x2B}, Syntax::DirectoryString, 1, 32768},  // initials
    {3, {0x55, 0x04, 0x2C}, Syntax::DirectoryString, 1, 32768},  // generationQualifier
    {3, {0x55, 0x04, 0x29}, Syntax::DirectoryString, 1, 32768},  // name
};

const AttributeRule* RuleFor(const NameAttribute& attribute) {
    for (const AttributeRule& rule : kRules) {
        if (rule.oidLength == attribute.typeLength && std::memcmp(rule.oid, attribute.type, rule.oidLength) == 0) {
            return &rule;
        }
    }
    return nullptr;
}

uint32_t LengthInCharacters(const NameAttribute& attribute) {
    if (attribute.stringType == kBmpString) return attribute.valueLength / 2;
    if (attribute.stringType == kUniversalString) return attribute.valueLength / 4;
    return attribute.valueLength;
}

// The limit for a string type, or 0 when the syntax does not allow it.
uint32_t LimitFor(const AttributeRule& rule, uint32_t stringType) {
    switch (rule.syntax) {
    case Syntax::Printable:
        return stringType == kPrintableString ? (rule.upperBound == kNoLimit ? UINT32_MAX : rule.upperBound) : 0;
    case Syntax::Ia5:
        return stringType == kIa5String ? rule.upperBound : 0;
    case Syntax::DirectoryString:
        break;
    }
    switch (stringType) {
    case kUtf8String:
        return rule.upperBound * 4;
    case kTeletexString:
        return rule.upperBound >= 16 ? rule.upperBound * 2 : 16;
    case kPrintableString:
    case kUniversalString:
    case kBmpString:
        return rule.upperBound;
    default:
        return 0;
    }
}

Status CheckAttribute(const NameAttribute& attribute) {
    const AttributeRule* rule = RuleFor(attribute);
    if (rule == nullptr) return kOk;
    uint32_t limit = LimitFor(*rule, attribute.stringType);
    if (limit == 0) return kNameStringTypeNotAllowed;
    uint32_t length = LengthInCharacters(attribute);
    if (length < rule->minimum || length > limit) return kNameBadLength;
    if (attribute.stringType == kPrintableString) {
        platform::ByteReader reader(attribute.value, attribute.valueLength);
        uint8_t c = 0;
        while (reader.ReadU8(c)) {
            if (!IsPrintableStringChar(c)) return kNameBadCharacter;
        }
    }
    return kOk;
}

}  // namespace

bool IsPrintableStringChar(uint8_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case ' ':
    case '\'':
    case '(':
    case ')':
    case '+':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case '=':
    case '?':
        return true;
    default:
        return false;
    }
}

Status NameCheckAttributes(const NameObject* name) {
    if (!IsName(name)) return kInvalidName;
    for (uint32_t i = 0; i < name->count; ++i) {
        if (Status status = CheckAttribute(name->attributes[i]); status != kOk) return status;
    }
    return kOk;
}

}  // namespace korva::toolkit
