#include "toolkit/BuiltinExtensionTypes.h"

#include <cstring>

#include "toolkit/ExtensionOids.h"
#include "toolkit/ExtensionValueHandlers.h"

namespace korva::toolkit {

namespace {

// Handlers are named by pointer: the handler sets live in another
// translation unit, whose constants this table must not copy at start-up.
struct BuiltinRow {
    const uint8_t* oid;
    uint32_t oidLength;
    uint8_t defaultCritical;
    uint8_t criticalityFree;
    uint8_t handlersReplaceable;
    uint16_t allowedIn;
    uint8_t singleValued;
    const ExtensionValueHandlers* handlers;
};

#define KORVA_ROW(name) oid::name, sizeof(oid::name)

constexpr BuiltinRow kRows[kBuiltinExtensionTypeCount] = {
    {kUnknownExtensionType, sizeof(kUnknownExtensionType), 0, 0, 1, 31, 1, &kRawValueHandlers},
    {KORVA_ROW(kIssuerAltName), 0, 1, 1, 3, 0, &kAltNameValueHandlers},
    {KORVA_ROW(kAuthorityKeyIdentifier), 0, 1, 1, 3, 1, &kAuthorityKeyIdentifierValueHandlers},
    {KORVA_ROW(kBasicConstraints), 1, 1, 1, 1, 1, &kBasicConstraintsValueHandlers},
    {KORVA_ROW(kSubjectAltName), 0, 1, 1, 1, 0, &kAltNameValueHandlers},
    {KORVA_ROW(kCertificatePolicies), 0, 1, 1, 1, 0, &kCertificatePoliciesValueHandlers},
    {KORVA_ROW(kPolicyConstraintsEarly), 1, 1, 1, 1, 1, &kPolicyConstraintsValueHandlers},
    {KORVA_ROW(kSubjectDirectoryAttributes), 0, 1, 1, 1, 0, &kDerElementValueHandlers},
    {KORVA_ROW(kSubjectKeyIdentifier), 0, 1, 1, 1, 1, &kSubjectKeyIdentifierValueHandlers},
    {KORVA_ROW(kKeyUsage), 1, 1, 1, 1, 1, &kKeyUsageValueHandlers},
    {KORVA_ROW(kPrivateKeyUsagePeriod), 0, 1, 1, 1, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kCrlNumber), 0, 1, 1, 2, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kDeltaCrlIndicator), 1, 1, 1, 2, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kHoldInstructionCode), 0, 1, 1, 20, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kInvalidityDate), 0, 1, 1, 20, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kReasonCode), 0, 1, 1, 20, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kPolicyConstraints), 0, 1, 1, 1, 1, &kPolicyConstraintsValueHandlers},
    {KORVA_ROW(kExtKeyUsage), 0, 1, 1, 1, 0, &kExtKeyUsageValueHandlers},
    {KORVA_ROW(kInhibitAnyPolicy), 1, 1, 1, 1, 1, &kInhibitAnyPolicyValueHandlers},
    {KORVA_ROW(kNameConstraints), 1, 1, 1, 1, 1, &kNameConstraintsValueHandlers},
    {KORVA_ROW(kPolicyMappings), 0, 1, 1, 1, 0, &kPolicyMappingsValueHandlers},
    {KORVA_ROW(kCertificateIssuer), 1, 1, 1, 20, 0, &kAltNameValueHandlers},
    {KORVA_ROW(kIssuingDistributionPoint), 1, 1, 1, 2, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kCrlDistributionPoints), 0, 1, 1, 1, 0, &kDerElementValueHandlers},
    {KORVA_ROW(kAuthorityInfoAccess), 0, 1, 1, 1, 0, &kDerElementValueHandlers},
    {KORVA_ROW(kOcspNonce), 0, 1, 1, 8, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kOcspCrlReference), 0, 1, 1, 16, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kOcspAcceptableResponses), 0, 1, 1, 8, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kOcspArchiveCutoff), 0, 1, 1, 16, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kOcspNoCheck), 0, 1, 1, 1, 1, &kDerElementValueHandlers},
    {KORVA_ROW(kQcStatements), 1, 1, 1, 1, 1, &kDerElementValueHandlers},
};

#undef KORVA_ROW

ExtensionTypeInfo InfoOf(const BuiltinRow& row) {
    return ExtensionTypeInfo{row.oid,         row.oidLength,           row.defaultCritical,
                             row.criticalityFree, row.handlersReplaceable, row.allowedIn,
                             row.singleValued, *row.handlers};
}

}  // namespace

ExtensionTypeInfo BuiltinExtensionType(uint32_t index) {
    return InfoOf(kRows[index < kBuiltinExtensionTypeCount ? index : 0]);
}

bool BuiltinExtensionTypeFind(const uint8_t* oid, uint32_t oidLength, ExtensionTypeInfo* info) {
    if (oid == nullptr) return false;
    for (const BuiltinRow& row : kRows) {
        if (row.oidLength == oidLength && std::memcmp(row.oid, oid, oidLength) == 0) {
            *info = InfoOf(row);
            return true;
        }
    }
    return false;
}

}  // namespace korva::toolkit
