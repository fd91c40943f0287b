// Decoded extension values, as the value handlers of the built-in table
// produce them. Every value starts with the extnValue octets it was decoded
// from; the views inside point into that same block.
#pragma once

#include <cstdint>

namespace korva::toolkit {

struct ValueBytes {
    const uint8_t* data;
    uint32_t length;
};

struct ExtensionValueHead {
    ValueBytes der;  // the extnValue octets (the DER of the extension's type)
};

// Rows without a structured form keep only the octets of their single,
// well-formed DER element.
struct OpaqueExtensionValue {
    ExtensionValueHead head;
};

// GeneralName forms, by their context tag number.
inline constexpr uint32_t kGeneralNameOther = 0;
inline constexpr uint32_t kGeneralNameRfc822 = 1;
inline constexpr uint32_t kGeneralNameDns = 2;
inline constexpr uint32_t kGeneralNameX400 = 3;
inline constexpr uint32_t kGeneralNameDirectory = 4;
inline constexpr uint32_t kGeneralNameEdiParty = 5;
inline constexpr uint32_t kGeneralNameUri = 6;
inline constexpr uint32_t kGeneralNameIpAddress = 7;
inline constexpr uint32_t kGeneralNameRegisteredId = 8;

struct GeneralName {
    uint32_t form;     // the context tag number, kGeneralName*
    ValueBytes value;  // content octets; for a directoryName the Name's DER
};

struct GeneralNames {
    const GeneralName* names;
    uint32_t count;
};

// subjectAltName, issuerAltName.
struct AltNameValue {
    ExtensionValueHead head;
    GeneralNames names;
};

struct AuthorityKeyIdentifierValue {
    ExtensionValueHead head;
    uint32_t hasKeyIdentifier;
    ValueBytes keyIdentifier;
    uint32_t hasIssuer;        // authorityCertIssuer present
    GeneralNames issuer;
    uint32_t hasSerialNumber;  // authorityCertSerialNumber present
    ValueBytes serialNumber;   // the INTEGER's content octets
};

struct SubjectKeyIdentifierValue {
    ExtensionValueHead head;
    ValueBytes keyIdentifier;
};

struct BasicConstraintsValue {
    ExtensionValueHead head;
    uint32_t cA;
    uint32_t hasPathLength;
    uint32_t pathLength;
};

// keyUsage bits by their number in the BIT STRING: bit n is (1 << n).
inline constexpr uint32_t kKeyUsageDigitalSignature = 1u << 0;
inline constexpr uint32_t kKeyUsageNonRepudiation = 1u << 1;
inline constexpr uint32_t kKeyUsageKeyEncipherment = 1u << 2;
inline constexpr uint32_t kKeyUsageDataEncipherment = 1u << 3;
inline constexpr uint32_t kKeyUsageKeyAgreement = 1u << 4;
inline constexpr uint32_t kKeyUsageKeyCertSign = 1u << 5;
inline constexpr uint32_t kKeyUsageCrlSign = 1u << 6;
inline constexpr uint32_t kKeyUsageEncipherOnly = 1u << 7;
inline constexpr uint32_t kKeyUsageDecipherOnly = 1u << 8;

struct KeyUsageValue {
    ExtensionValueHead head;
    uint32_t bits;
};

// A list of OBJECT IDENTIFIER content octets (extKeyUsage).
struct OidListValue {
    ExtensionValueHead head;
    const ValueBytes* oids;
    uint32_t count;
};

struct GeneralSubtree {
    GeneralName base;
    uint32_t minimum;
    uint32_t hasMaximum;
    uint32_t maximum;
};

struct NameConstraintsValue {
    ExtensionValueHead head;
    const GeneralSubtree* permitted;
    uint32_t permittedCount;
    const GeneralSubtree* excluded;
    uint32_t excludedCount;
};

struct PolicyInformation {
    ValueBytes policy;      // the policy OID's content octets
    ValueBytes qualifiers;  // the whole policyQualifiers SEQUENCE; empty when absent
};

struct CertificatePoliciesValue {
    ExtensionValueHead head;
    const PolicyInformation* policies;
    uint32_t count;
};

struct PolicyMapping {
    ValueBytes issuerDomainPolicy;
    ValueBytes subjectDomainPolicy;
};

struct PolicyMappingsValue {
    ExtensionValueHead head;
    const PolicyMapping* mappings;
    uint32_t count;
};

struct PolicyConstraintsValue {
    ExtensionValueHead head;
    uint32_t hasRequireExplicitPolicy;
    uint32_t requireExplicitPolicy;
    uint32_t hasInhibitPolicyMapping;
    uint32_t inhibitPolicyMapping;
};

struct InhibitAnyPolicyValue {
    ExtensionValueHead head;
    uint32_t skipCerts;
};

}  // namespace korva::toolkit
