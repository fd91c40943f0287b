#include "catalog/SignerChecks.h"

#include <algorithm>
#include <span>

#include "catalog/CertResult.h"
#include "toolkit/Certificate.h"
#include "toolkit/Name.h"

namespace TarnVerifyTrustDriver {

namespace {

using korva::toolkit::NameAttribute;
using korva::toolkit::NameObject;
using Bytes = std::span<const uint8_t>;

// Every bit inverted, so that none of these reads as text in the program
// image. The maker's names first, then the revoked signers: serial numbers
// and the issuer's locality, organisation and unit.
uint8_t kMakerCorporation[] = {0xAB, 0x9E, 0x8D, 0x91, 0x88, 0x96, 0x9C, 0x94, 0xDF, 0xBC, 0x90, 0x8D, 0x8F, 0x90, 0x8D, 0x9E, 0x8B, 0x96, 0x90, 0x91};
uint8_t kMakerIncorporated[] = {0xAB, 0x9E, 0x8D, 0x91, 0x88, 0x96, 0x9C, 0x94, 0xD3, 0xDF, 0xB6, 0x91, 0x9C, 0xD1};
uint8_t kMakerCorp[] = {0xAB, 0x9E, 0x8D, 0x91, 0x88, 0x96, 0x9C, 0x94, 0xDF, 0xBC, 0x90, 0x8D, 0x8F};
uint8_t kMakerShort[] = {0xAB, 0x9E, 0x8D, 0x91, 0x88, 0x96, 0x9C, 0x94};
uint8_t kMakerUpper[] = {0xAB, 0xBE, 0xAD, 0xB1, 0xA8, 0xB6, 0xBC, 0xB4};
uint8_t kMakerSigningIdentity[] = {0xAB, 0x9E, 0x8D, 0x91, 0x88, 0x96, 0x9C, 0x94, 0xDF, 0xBC, 0x90, 0x9B, 0x9A, 0xDF, 0xAC, 0x96, 0x98, 0x91, 0x96, 0x91, 0x98};
uint8_t kMakerSigningUnit[] = {0xAB, 0x9E, 0x8D, 0x91, 0x88, 0x96, 0x9C, 0x94, 0xDF, 0xBB, 0x9A, 0x89, 0x9A, 0x93, 0x90, 0x8F, 0x92, 0x9A, 0x91, 0x8B, 0xDF, 0xBC, 0x90, 0x9B, 0x9A, 0xDF, 0xAC, 0x96, 0x98, 0x91, 0x96, 0x91, 0x98, 0xDF, 0xBC, 0x9A, 0x8D, 0x8B, 0x96, 0x99, 0x96, 0x9C, 0x9E, 0x8B, 0x9A, 0xDF, 0xAA, 0x91, 0x96, 0x8B};
uint8_t kMakerSigningPrefix[] = {0xAB, 0x9E, 0x8D, 0x91, 0x88, 0x96, 0x9C, 0x94, 0xDF, 0xBC, 0x90, 0x9B, 0x9A, 0xDF, 0xAC, 0x96, 0x98, 0x91};
uint8_t kRevokedSerial1[] = {0xE4, 0xAE, 0x6F, 0x08, 0xC8, 0xDB, 0xC6, 0x63, 0x6D, 0xAB, 0x32, 0xBD, 0xB9, 0xC8, 0x66, 0x95};
uint8_t kRevokedSerial2[] = {0x8A, 0xF1, 0xBF, 0x00, 0x68, 0x0F, 0xB8, 0x12, 0x0A, 0xA9, 0x38, 0xF7, 0xB1, 0x4E, 0x54, 0x02};
uint8_t kRevokedSerial3[] = {0x85, 0xC3, 0xA1, 0xEF, 0x2D, 0x46, 0xB0, 0x71, 0x9E, 0x5F, 0x38, 0x2C, 0x1A, 0x0D, 0xE4, 0xB6};
uint8_t kRevokedLocality12[] = {0xB6, 0x91, 0x8B, 0x9A, 0x8D, 0x91, 0x9A, 0x8B};
uint8_t kRevokedOrganisation12[] = {0xA9, 0x9A, 0x8D, 0x96, 0xAC, 0x96, 0x98, 0x91, 0xD3, 0xDF, 0xB6, 0x91, 0x9C, 0xD1};
uint8_t kRevokedUnit12[] = {0xA9, 0x9A, 0x8D, 0x96, 0xAC, 0x96, 0x98, 0x91, 0xDF, 0xBC, 0x90, 0x92, 0x92, 0x9A, 0x8D, 0x9C, 0x96, 0x9E, 0x93, 0xDF, 0xAC, 0x90, 0x99, 0x8B, 0x88, 0x9E, 0x8D, 0x9A, 0xDF, 0xAF, 0x8A, 0x9D, 0x93, 0x96, 0x8C, 0x97, 0x9A, 0x8D, 0x8C, 0xDF, 0xBC, 0xBE};
uint8_t kRevokedLocality3[] = {0xAB, 0x9A, 0x8C, 0x8B, 0x93, 0x9E, 0x91, 0x9B};
uint8_t kRevokedOrganisation3[] = {0xAB, 0x9E, 0x8D, 0x91, 0x88, 0x96, 0x9C, 0x94, 0xD3, 0xDF, 0xB6, 0x91, 0x9C, 0xD1};
uint8_t kRevokedUnit3[] = {0xAB, 0x9E, 0x8D, 0x91, 0x88, 0x96, 0x9C, 0x94, 0xDF, 0xAD, 0x9A, 0x89, 0x90, 0x94, 0x9A, 0x9B, 0xDF, 0xAC, 0x96, 0x98, 0x91, 0x9A, 0x8D, 0xDF, 0xAB, 0x9A, 0x8C, 0x8B, 0xDF, 0xBE, 0x8A, 0x8B, 0x97, 0x90, 0x8D, 0x96, 0x8B, 0x86, 0xDF, 0xBC, 0xBE, 0xCE};

std::span<uint8_t> kScrambled[] = {kMakerCorporation,     kMakerIncorporated,     kMakerCorp,         kMakerShort,
                                   kMakerUpper,           kMakerSigningIdentity,  kMakerSigningUnit,  kMakerSigningPrefix,
                                   kRevokedSerial1,       kRevokedSerial2,        kRevokedSerial3,    kRevokedLocality12,
                                   kRevokedOrganisation12, kRevokedUnit12,        kRevokedLocality3,  kRevokedOrganisation3,
                                   kRevokedUnit3};

// Restores every piece in place once per process; the guard of a function
// static makes it safe from any thread.
void Restore() {
    static const bool restored = [] {
        for (std::span<uint8_t> piece : kScrambled) {
            for (uint8_t& octet : piece) octet = static_cast<uint8_t>(~octet);
        }
        return true;
    }();
    (void)restored;
}

struct RevokedSigner {
    Bytes serial;
    Bytes locality;
    Bytes organisation;
    Bytes unit;
};

const RevokedSigner kRevoked[] = {
    {kRevokedSerial1, kRevokedLocality12, kRevokedOrganisation12, kRevokedUnit12},
    {kRevokedSerial2, kRevokedLocality12, kRevokedOrganisation12, kRevokedUnit12},
    {kRevokedSerial3, kRevokedLocality3, kRevokedOrganisation3, kRevokedUnit3},
};

constexpr uint8_t kCommonName = 0x03;
constexpr uint8_t kLocality = 0x07;
constexpr uint8_t kOrganisation = 0x0A;
constexpr uint8_t kOrganizationalUnit = 0x0B;

bool IsStringType(uint32_t tag) {
    return tag == 3 || tag == 4 || tag == 12 || (tag >= 18 && tag <= 22) || (tag >= 25 && tag <= 30);
}

// A string attribute of type 2.5.4.`type`.
bool IsAttribute(const NameAttribute& attribute, uint8_t type) {
    return attribute.typeLength == 3 && attribute.type[0] == 0x55 && attribute.type[1] == 0x04 &&
           attribute.type[2] == type && IsStringType(attribute.stringType);
}

Bytes ValueOf(const NameAttribute& attribute) { return {attribute.value, attribute.valueLength}; }

bool Equal(Bytes a, Bytes b) { return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin()); }

bool EqualsAny(Bytes value, std::span<const Bytes> candidates) {
    return std::any_of(candidates.begin(), candidates.end(), [&](Bytes c) { return Equal(value, c); });
}

// Calls `visit` for each attribute of `name` until it returns true.
template <typename Visit>
bool AnyAttribute(const NameObject* name, Visit visit) {
    uint32_t count = 0;
    if (korva::toolkit::NameCount(name, &count) != korva::toolkit::kOk) return false;
    for (uint32_t i = 0; i < count; ++i) {
        NameAttribute attribute{};
        if (korva::toolkit::NameGetAttribute(name, i, &attribute) != korva::toolkit::kOk) return false;
        if (visit(attribute)) return true;
    }
    return false;
}

}  // namespace

bool SubjectHasSigningUnitPrefix(const NameObject* subject) {
    Restore();
    Bytes prefix = kMakerSigningPrefix;
    return AnyAttribute(subject, [&](const NameAttribute& a) {
        Bytes value = ValueOf(a);
        return IsAttribute(a, kOrganizationalUnit) && value.size() >= prefix.size() &&
               std::equal(prefix.begin(), prefix.end(), value.begin());
    });
}

bool SubjectNamesMaker(const NameObject* subject) {
    Restore();
    const Bytes organisations[] = {kMakerCorporation, kMakerIncorporated, kMakerCorp, kMakerShort, kMakerUpper};
    const Bytes commonNames[] = {kMakerCorporation, kMakerCorp, kMakerShort, kMakerUpper};
    bool organisation = AnyAttribute(subject, [&](const NameAttribute& a) {
        return IsAttribute(a, kOrganisation) && EqualsAny(ValueOf(a), organisations);
    });
    bool commonName = AnyAttribute(subject, [&](const NameAttribute& a) {
        return IsAttribute(a, kCommonName) && EqualsAny(ValueOf(a), commonNames);
    });
    return organisation && commonName;
}

bool SubjectNamesMakerSigningIdentity(const NameObject* subject) {
    Restore();
    const Bytes identity[] = {kMakerSigningIdentity};
    const Bytes units[] = {kMakerSigningIdentity, kMakerSigningUnit};
    return AnyAttribute(subject, [&](const NameAttribute& a) {
        return (IsAttribute(a, kOrganisation) && EqualsAny(ValueOf(a), identity)) ||
               (IsAttribute(a, kOrganizationalUnit) && EqualsAny(ValueOf(a), units));
    });
}

uint32_t LookUpRevokedSigner(const korva::toolkit::CertFields& fields) {
    Restore();
    uint32_t count = 0;
    if (korva::toolkit::NameCount(fields.issuer, &count) != korva::toolkit::kOk) return kCertToolkitFailure;
    Bytes serial(fields.serialNumber.data, fields.serialNumber.length);
    for (const RevokedSigner& entry : kRevoked) {
        if (!Equal(serial, entry.serial)) continue;
        bool locality = false, organisation = false, unit = false;
        AnyAttribute(fields.issuer, [&](const NameAttribute& a) {
            locality = locality || (IsAttribute(a, kLocality) && Equal(ValueOf(a), entry.locality));
            organisation = organisation || (IsAttribute(a, kOrganisation) && Equal(ValueOf(a), entry.organisation));
            unit = unit || (IsAttribute(a, kOrganizationalUnit) && Equal(ValueOf(a), entry.unit));
            return false;
        });
        if (locality && organisation && unit) return kCertNoMatch;
    }
    return kCertSuccess;
}

}  // namespace TarnVerifyTrustDriver
