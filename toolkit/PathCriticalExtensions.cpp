#include "toolkit/PathCriticalExtensions.h"

#include <cstring>

#include "toolkit/ExtensionList.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/PathReport.h"

namespace korva::toolkit {

namespace {

// What the table says of one critical extension.
enum class Treatment { Accept, Warn, BasicConstraints, InhibitAnyPolicy, Refuse };

struct Row {
    const uint8_t* oid;
    Treatment treatment;
    const char* warning;
};

// Extensions under 2.5.29 are told apart by their first three octets; the
// authorityInfoAccess OID is compared whole.
constexpr size_t kPrefixOctets = 3;

const Row kRows[] = {
    {oid::kAuthorityKeyIdentifier, Treatment::Accept, nullptr},
    {oid::kKeyUsage, Treatment::Accept, nullptr},
    {oid::kSubjectAltName, Treatment::Accept, nullptr},
    {oid::kNameConstraints, Treatment::Accept, nullptr},
    {oid::kExtKeyUsage, Treatment::Accept, nullptr},
    {oid::kSubjectKeyIdentifier, Treatment::Warn, "Critical SubjectKeyId extension found"},
    {oid::kPrivateKeyUsagePeriod, Treatment::Warn, "PrivateKeyUsagePeriod extension found"},
    {oid::kIssuerAltName, Treatment::Warn, "Critical IssuerAltName extension found"},
    {oid::kSubjectDirectoryAttributes, Treatment::Warn, "Critical SubjectDirAttrib extension found"},
    {oid::kBasicConstraints, Treatment::BasicConstraints, nullptr},
    {oid::kInhibitAnyPolicy, Treatment::InhibitAnyPolicy, nullptr},
    // Processed with the policy state under kind 2, accepted otherwise.
    {oid::kPolicyConstraints, Treatment::Accept, nullptr},
};

Row Lookup(const uint8_t* oid, uint32_t oidLength) {
    if (oidLength == sizeof oid::kAuthorityInfoAccess &&
        std::memcmp(oid, oid::kAuthorityInfoAccess, oidLength) == 0) {
        return Row{oid, Treatment::Accept, nullptr};
    }
    if (oidLength < kPrefixOctets) return Row{oid, Treatment::Refuse, nullptr};
    for (const Row& row : kRows) {
        if (std::memcmp(row.oid, oid, kPrefixOctets) == 0) return row;
    }
    return Row{oid, Treatment::Refuse, nullptr};
}

Status BasicConstraints(ToolkitContext* context, const PathParams* params, const ExtensionList* extensions,
                        uint32_t index, uint32_t below) {
    if (params->kind != kPathKindValidate || (params->flags & kPathNoBasicConstraints) != 0) return kOk;
    const void* value = nullptr;
    if (ExtensionListGetValue(extensions, index, 0, &value) != kOk) return kOk;
    const auto* constraints = static_cast<const BasicConstraintsValue*>(value);
    if (constraints->cA == 0) {
        PathWarn(context, "BasicConstraints extension found in end entity cert");
        return kOk;
    }
    if (constraints->hasPathLength != 0 && below > uint64_t(constraints->pathLength) + 1) {
        return PathReject(context, PathReason::kPathTooLong);
    }
    return kOk;
}

}  // namespace

Status PathCheckCriticalExtensions(ToolkitContext* context, const PathParams* params,
                                   const ExtensionList* extensions, uint32_t below) {
    if ((params->flags & kPathNoCriticalExtensions) != 0 || extensions == nullptr) return kOk;
    uint32_t count = 0;
    if (Status status = ExtensionListCount(extensions, &count); status != kOk) return status;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t critical = 0;
        const uint8_t* oid = nullptr;
        uint32_t oidLength = 0;
        if (ExtensionListGetCritical(extensions, i, &critical) != kOk || critical == 0) continue;
        if (Status status = ExtensionListGetOid(extensions, i, &oid, &oidLength); status != kOk) return status;
        Row row = Lookup(oid, oidLength);
        Status status = kOk;
        switch (row.treatment) {
        case Treatment::Accept:
            break;
        case Treatment::Warn:
            PathWarn(context, row.warning);
            break;
        case Treatment::BasicConstraints:
            status = BasicConstraints(context, params, extensions, i, below);
            break;
        case Treatment::InhibitAnyPolicy:
            if (params->kind == kPathKindValidate) status = PathReject(context, PathReason::kCriticalExtension);
            break;
        case Treatment::Refuse:
            status = PathReject(context, PathReason::kCriticalExtension);
            break;
        }
        if (status != kOk) return status;
    }
    return kOk;
}

}  // namespace korva::toolkit
