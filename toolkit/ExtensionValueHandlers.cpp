#include "toolkit/DerElements.h"
#include "toolkit/ExtensionValueHandlers.h"

#include <cstring>
#include <new>
#include <type_traits>

#include "platform/ByteReader.h"
#include "runtime/MemoryService.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/ObjectIdentifier.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

using platform::ByteReader;
using platform::ByteSpan;
using platform::DerElement;
using platform::DerError;
using platform::DerRules;
using namespace der;

namespace {

ValueBytes View(ByteSpan bytes) {
    return ValueBytes{bytes.data(), static_cast<uint32_t>(bytes.size())};
}

// The next element, which must carry `identifier`, with minimal lengths.
bool Take(ByteReader& reader, uint8_t identifier, ByteSpan& content) {
    return reader.ReadDerTagged(identifier, content);
}

// The whole of `der`: exactly one element, carrying `identifier`.
bool TakeWhole(ByteSpan der, uint8_t identifier, ByteSpan& content) {
    ByteReader reader(der);
    return Take(reader, identifier, content) && reader.AtEnd();
}

// The next element when it carries `identifier`; `present` says whether it did.
bool TakeOptional(ByteReader& reader, uint8_t identifier, ByteSpan& content, bool& present) {
    uint8_t next = 0;
    present = reader.PeekU8(next) && next == identifier;
    return !present || Take(reader, identifier, content);
}

// A non-negative INTEGER content that fits 32 bits.
bool SmallUnsigned(ByteSpan content, uint32_t& value) {
    ByteReader reader(content);
    uint8_t octet = 0;
    if (!reader.PeekU8(octet) || (octet & 0x80) != 0) return false;
    uint64_t result = 0;
    while (reader.ReadU8(octet)) {
        result = (result << 8) | octet;
        if (result > 0xFFFFFFFF) return false;
    }
    value = static_cast<uint32_t>(result);
    return true;
}

bool ReadOid(ByteReader& reader, ValueBytes& oid) {
    ByteSpan content;
    if (!Take(reader, kOid, content) || !OidWellFormed(content)) return false;
    oid = View(content);
    return true;
}

struct OptionalField {
    ByteSpan content;
    bool present = false;
};

// SEQUENCE { first OPTIONAL, second OPTIONAL }, the shape of several values.
bool TakeTwoOptional(ByteSpan der, uint8_t firstId, OptionalField& first, uint8_t secondId, OptionalField& second) {
    ByteSpan content;
    if (!TakeWhole(der, kSequence, content)) return false;
    ByteReader reader(content);
    return TakeOptional(reader, firstId, first.content, first.present) &&
           TakeOptional(reader, secondId, second.content, second.present) && reader.AtEnd();
}

// GeneralName: the context tag names the form; otherName, x400Address,
// directoryName and ediPartyName are constructed, the others primitive.
bool ReadGeneralName(ByteReader& reader, GeneralName& name) {
    DerElement element;
    if (reader.ReadDerElement(element, DerRules::kDer) != DerError::kNone) return false;
    const platform::DerHeader& header = element.header;
    if ((header.tagClass & platform::kDerClassMask) != kContext || header.tag > kGeneralNameRegisteredId) return false;
    bool constructed = header.tag == kGeneralNameOther || header.tag == kGeneralNameX400 ||
                       header.tag == kGeneralNameDirectory || header.tag == kGeneralNameEdiParty;
    if (header.Constructed() != constructed) return false;
    name.form = header.tag;
    name.value = View(element.content);
    if (header.tag == kGeneralNameDirectory) {
        // Explicitly tagged: the content is one Name.
        ByteReader inner(element.content);
        DerElement directory;
        if (inner.ReadDerElement(directory, DerRules::kDer) != DerError::kNone ||
            directory.header.identifier != kSequence || !inner.AtEnd()) {
            return false;
        }
        name.value = View(directory.whole);
    }
    return true;
}

// Reads the GeneralName elements of `content` (at least one) into `names`
// from position `count` on; with `names` null only counts them.
bool ReadGeneralNames(ByteSpan content, GeneralName* names, uint32_t& count) {
    ByteReader reader(content);
    if (reader.AtEnd()) return false;
    while (!reader.AtEnd()) {
        GeneralName name{};
        if (!ReadGeneralName(reader, name)) return false;
        if (names != nullptr) names[count] = name;
        ++count;
    }
    return true;
}

// Each parser reads a whole extnValue into `value` and its list items into
// `items`; with `items` null it only validates and counts them.
template <typename Value, typename Item>
using Parser = bool (*)(ByteSpan der, Value& value, Item* items, uint32_t& count);

// Decoding: a first pass counts the items, then one block holds the value,
// its items and the copy of the octets the views point into.
template <typename Value, typename Item, Parser<Value, Item> Parse>
Status Decode(const uint8_t* der, uint32_t derLength, void** out) {
    static_assert(std::is_trivially_destructible_v<Value> && std::is_trivially_destructible_v<Item>);
    static_assert(alignof(Value) <= mem::kBlockHeaderSize && alignof(Item) <= alignof(Value));
    if (out == nullptr) return kInvalidArgument;
    Value probe{};
    uint32_t count = 0;
    if (derLength != 0 && der == nullptr) return kInputMissing;
    if (!Parse({der, derLength}, probe, nullptr, count)) return kMalformedEncoding;
    size_t itemsOffset = (sizeof(Value) + alignof(Item) - 1) / alignof(Item) * alignof(Item);
    size_t bytesOffset = itemsOffset + count * sizeof(Item);
    auto* block = static_cast<uint8_t*>(mem::AllocateBuffer(bytesOffset + derLength + 1));
    if (block == nullptr) return kOutOfMemory;
    auto* value = new (block) Value{};
    auto* items = reinterpret_cast<Item*>(block + itemsOffset);
    uint8_t* copy = block + bytesOffset;
    if (derLength != 0) std::memcpy(copy, der, derLength);
    count = 0;
    Parse({copy, derLength}, *value, items, count);
    value->head.der = ValueBytes{copy, derLength};
    *out = value;
    return kOk;
}

Status Encode(const void* value, const uint8_t** der, uint32_t* derLength) {
    if (value == nullptr || der == nullptr || derLength == nullptr) return kInvalidArgument;
    const auto* head = static_cast<const ExtensionValueHead*>(value);
    *der = head->der.data;
    *derLength = head->der.length;
    return kOk;
}

// A copy is the same octets decoded again.
template <typename Value, typename Item, Parser<Value, Item> Parse>
Status Copy(const void* value, void** copy) {
    if (value == nullptr) return kInvalidArgument;
    const auto* head = static_cast<const ExtensionValueHead*>(value);
    return Decode<Value, Item, Parse>(head->der.data, head->der.length, copy);
}

void Free(void* value) {
    mem::FreeBuffer(value);
}

template <typename Value, typename Item, Parser<Value, Item> Parse>
constexpr ExtensionValueHandlers Handlers() {
    return {Decode<Value, Item, Parse>, Encode, Copy<Value, Item, Parse>, Free};
}

// Values without list items use this as their item type.
struct NoItem {};

bool ParseRaw(ByteSpan, OpaqueExtensionValue&, NoItem*, uint32_t&) {
    return true;
}

bool ParseDerElement(ByteSpan der, OpaqueExtensionValue&, NoItem*, uint32_t&) {
    ByteReader reader(der);
    DerElement element;
    return reader.ReadDerElement(element, DerRules::kDer) == DerError::kNone && reader.AtEnd();
}

// subjectAltName, issuerAltName: GeneralNames.
bool ParseAltName(ByteSpan der, AltNameValue& value, GeneralName* items, uint32_t& count) {
    ByteSpan content;
    if (!TakeWhole(der, kSequence, content) || !ReadGeneralNames(content, items, count)) return false;
    value.names = GeneralNames{items, count};
    return true;
}

// AuthorityKeyIdentifier ::= SEQUENCE { [0] keyIdentifier OPTIONAL,
//   [1] authorityCertIssuer GeneralNames OPTIONAL, [2] serial OPTIONAL }
bool ParseAuthorityKeyIdentifier(ByteSpan der, AuthorityKeyIdentifierValue& value, GeneralName* items,
                                 uint32_t& count) {
    ByteSpan content;
    if (!TakeWhole(der, kSequence, content)) return false;
    ByteReader reader(content);
    ByteSpan keyId;
    ByteSpan issuer;
    ByteSpan serial;
    bool hasKeyId = false;
    bool hasIssuer = false;
    bool hasSerial = false;
    if (!TakeOptional(reader, kContext | 0, keyId, hasKeyId) ||
        !TakeOptional(reader, kContextConstructed | 1, issuer, hasIssuer) ||
        !TakeOptional(reader, kContext | 2, serial, hasSerial) || !reader.AtEnd()) {
        return false;
    }
    // The issuer and the serial number come together or not at all.
    if (hasIssuer != hasSerial || (hasSerial && serial.empty())) return false;
    if (hasIssuer && !ReadGeneralNames(issuer, items, count)) return false;
    value.hasKeyIdentifier = hasKeyId;
    value.keyIdentifier = View(keyId);
    value.hasIssuer = hasIssuer;
    value.issuer = GeneralNames{items, count};
    value.hasSerialNumber = hasSerial;
    value.serialNumber = View(serial);
    return true;
}

bool ParseSubjectKeyIdentifier(ByteSpan der, SubjectKeyIdentifierValue& value, NoItem*, uint32_t&) {
    ByteSpan keyId;
    if (!TakeWhole(der, kOctetString, keyId)) return false;
    value.keyIdentifier = View(keyId);
    return true;
}

// BasicConstraints ::= SEQUENCE { cA BOOLEAN DEFAULT FALSE,
//   pathLenConstraint INTEGER (0..MAX) OPTIONAL }
bool ParseBasicConstraints(ByteSpan der, BasicConstraintsValue& value, NoItem*, uint32_t&) {
    OptionalField cA;
    OptionalField pathLength;
    if (!TakeTwoOptional(der, kBoolean, cA, kInteger, pathLength)) return false;
    uint8_t flag = 0;
    ByteReader flagReader(cA.content);
    if (cA.present && (!flagReader.ReadU8(flag) || !flagReader.AtEnd())) return false;
    if (pathLength.present && !SmallUnsigned(pathLength.content, value.pathLength)) return false;
    value.cA = flag != 0 ? 1 : 0;
    value.hasPathLength = pathLength.present;
    return true;
}

// KeyUsage ::= BIT STRING; bit n of the string is (1 << n) here.
bool ParseKeyUsage(ByteSpan der, KeyUsageValue& value, NoItem*, uint32_t&) {
    ByteSpan content;
    if (!TakeWhole(der, kBitString, content)) return false;
    ByteReader reader(content);
    uint8_t unused = 0;
    if (!reader.ReadU8(unused) || unused > 7 || (reader.AtEnd() && unused != 0)) return false;
    uint32_t bits = 0;
    uint8_t octet = 0;
    for (uint32_t index = 0; reader.ReadU8(octet); ++index) {
        for (uint32_t bit = 0; bit < 8 && index * 8 + bit < 32; ++bit) {
            if ((octet & (0x80 >> bit)) != 0) bits |= 1u << (index * 8 + bit);
        }
    }
    value.bits = bits;
    return true;
}

// A SEQUENCE SIZE (1..MAX) OF OBJECT IDENTIFIER (extKeyUsage).
bool ParseExtKeyUsage(ByteSpan der, OidListValue& value, ValueBytes* items, uint32_t& count) {
    ByteSpan content;
    if (!TakeWhole(der, kSequence, content) || content.empty()) return false;
    ByteReader reader(content);
    while (!reader.AtEnd()) {
        ValueBytes oid{};
        if (!ReadOid(reader, oid)) return false;
        if (items != nullptr) items[count] = oid;
        ++count;
    }
    value.oids = items;
    value.count = count;
    return true;
}

// GeneralSubtrees ::= SEQUENCE SIZE (1..MAX) OF SEQUENCE { base GeneralName,
//   [0] minimum INTEGER DEFAULT 0, [1] maximum INTEGER OPTIONAL }
bool ReadSubtrees(ByteSpan content, GeneralSubtree* items, uint32_t& count) {
    ByteReader reader(content);
    if (reader.AtEnd()) return false;
    while (!reader.AtEnd()) {
        ByteSpan subtree;
        if (!Take(reader, kSequence, subtree)) return false;
        ByteReader fields(subtree);
        GeneralSubtree entry{};
        ByteSpan minimum;
        ByteSpan maximum;
        bool hasMinimum = false;
        bool hasMaximum = false;
        if (!ReadGeneralName(fields, entry.base) || !TakeOptional(fields, kContext | 0, minimum, hasMinimum) ||
            !TakeOptional(fields, kContext | 1, maximum, hasMaximum) || !fields.AtEnd()) {
            return false;
        }
        if (hasMinimum && !SmallUnsigned(minimum, entry.minimum)) return false;
        if (hasMaximum && !SmallUnsigned(maximum, entry.maximum)) return false;
        entry.hasMaximum = hasMaximum;
        if (items != nullptr) items[count] = entry;
        ++count;
    }
    return true;
}

// NameConstraints ::= SEQUENCE { [0] permittedSubtrees OPTIONAL,
//   [1] excludedSubtrees OPTIONAL }; both lists share the item array.
bool ParseNameConstraints(ByteSpan der, NameConstraintsValue& value, GeneralSubtree* items, uint32_t& count) {
    OptionalField permitted;
    OptionalField excluded;
    if (!TakeTwoOptional(der, kContextConstructed | 0, permitted, kContextConstructed | 1, excluded)) return false;
    if (permitted.present && !ReadSubtrees(permitted.content, items, count)) return false;
    uint32_t permittedCount = count;
    if (excluded.present && !ReadSubtrees(excluded.content, items, count)) return false;
    value.permitted = items;
    value.permittedCount = permittedCount;
    value.excluded = items != nullptr ? items + permittedCount : nullptr;
    value.excludedCount = count - permittedCount;
    return true;
}

// certificatePolicies ::= SEQUENCE SIZE (1..MAX) OF SEQUENCE {
//   policyIdentifier OID, policyQualifiers SEQUENCE OPTIONAL }
bool ParseCertificatePolicies(ByteSpan der, CertificatePoliciesValue& value, PolicyInformation* items,
                              uint32_t& count) {
    ByteSpan content;
    if (!TakeWhole(der, kSequence, content) || content.empty()) return false;
    ByteReader reader(content);
    while (!reader.AtEnd()) {
        ByteSpan information;
        if (!Take(reader, kSequence, information)) return false;
        ByteReader fields(information);
        PolicyInformation policy{};
        if (!ReadOid(fields, policy.policy)) return false;
        if (!fields.AtEnd()) {
            DerElement qualifiers;
            if (fields.ReadDerElement(qualifiers, DerRules::kDer) != DerError::kNone ||
                qualifiers.header.identifier != kSequence || !fields.AtEnd()) {
                return false;
            }
            policy.qualifiers = View(qualifiers.whole);
        }
        if (items != nullptr) items[count] = policy;
        ++count;
    }
    value.policies = items;
    value.count = count;
    return true;
}

// PolicyMappings ::= SEQUENCE SIZE (1..MAX) OF SEQUENCE {
//   issuerDomainPolicy OID, subjectDomainPolicy OID }
bool ParsePolicyMappings(ByteSpan der, PolicyMappingsValue& value, PolicyMapping* items, uint32_t& count) {
    ByteSpan content;
    if (!TakeWhole(der, kSequence, content) || content.empty()) return false;
    ByteReader reader(content);
    while (!reader.AtEnd()) {
        ByteSpan pair;
        if (!Take(reader, kSequence, pair)) return false;
        ByteReader fields(pair);
        PolicyMapping mapping{};
        if (!ReadOid(fields, mapping.issuerDomainPolicy) || !ReadOid(fields, mapping.subjectDomainPolicy) ||
            !fields.AtEnd()) {
            return false;
        }
        if (items != nullptr) items[count] = mapping;
        ++count;
    }
    value.mappings = items;
    value.count = count;
    return true;
}

// PolicyConstraints ::= SEQUENCE { [0] requireExplicitPolicy OPTIONAL,
//   [1] inhibitPolicyMapping OPTIONAL }
bool ParsePolicyConstraints(ByteSpan der, PolicyConstraintsValue& value, NoItem*, uint32_t&) {
    OptionalField require;
    OptionalField inhibit;
    if (!TakeTwoOptional(der, kContext | 0, require, kContext | 1, inhibit)) return false;
    if (require.present && !SmallUnsigned(require.content, value.requireExplicitPolicy)) return false;
    if (inhibit.present && !SmallUnsigned(inhibit.content, value.inhibitPolicyMapping)) return false;
    value.hasRequireExplicitPolicy = require.present;
    value.hasInhibitPolicyMapping = inhibit.present;
    return true;
}

// InhibitAnyPolicy ::= SkipCerts ::= INTEGER (0..MAX)
bool ParseInhibitAnyPolicy(ByteSpan der, InhibitAnyPolicyValue& value, NoItem*, uint32_t&) {
    ByteSpan content;
    return TakeWhole(der, kInteger, content) && SmallUnsigned(content, value.skipCerts);
}

}  // namespace

const ExtensionValueHandlers kRawValueHandlers = Handlers<OpaqueExtensionValue, NoItem, ParseRaw>();
const ExtensionValueHandlers kDerElementValueHandlers = Handlers<OpaqueExtensionValue, NoItem, ParseDerElement>();
const ExtensionValueHandlers kAltNameValueHandlers = Handlers<AltNameValue, GeneralName, ParseAltName>();
const ExtensionValueHandlers kAuthorityKeyIdentifierValueHandlers =
    Handlers<AuthorityKeyIdentifierValue, GeneralName, ParseAuthorityKeyIdentifier>();
const ExtensionValueHandlers kSubjectKeyIdentifierValueHandlers =
    Handlers<SubjectKeyIdentifierValue, NoItem, ParseSubjectKeyIdentifier>();
const ExtensionValueHandlers kBasicConstraintsValueHandlers =
    Handlers<BasicConstraintsValue, NoItem, ParseBasicConstraints>();
const ExtensionValueHandlers kKeyUsageValueHandlers = Handlers<KeyUsageValue, NoItem, ParseKeyUsage>();
const ExtensionValueHandlers kExtKeyUsageValueHandlers = Handlers<OidListValue, ValueBytes, ParseExtKeyUsage>();
const ExtensionValueHandlers kNameConstraintsValueHandlers =
    Handlers<NameConstraintsValue, GeneralSubtree, ParseNameConstraints>();
const ExtensionValueHandlers kCertificatePoliciesValueHandlers =
    Handlers<CertificatePoliciesValue, PolicyInformation, ParseCertificatePolicies>();
const ExtensionValueHandlers kPolicyMappingsValueHandlers =
    Handlers<PolicyMappingsValue, PolicyMapping, ParsePolicyMappings>();
const ExtensionValueHandlers kPolicyConstraintsValueHandlers =
    Handlers<PolicyConstraintsValue, NoItem, ParsePolicyConstraints>();
const ExtensionValueHandlers kInhibitAnyPolicyValueHandlers =
    Handlers<InhibitAnyPolicyValue, NoItem, ParseInhibitAnyPolicy>();

}  // namespace korva::toolkit
