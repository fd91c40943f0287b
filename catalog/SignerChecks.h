// The checks of a verified signer certificate that set its flags: the
// maker's names and signing units, and the built-in list of revoked signers.
// Their comparison values are kept scrambled until first use.
#pragma once

#include <cstdint>

namespace korva::toolkit {
struct NameObject;
struct CertFields;
}

namespace TarnVerifyTrustDriver {

// An organizational unit of the subject begins with the maker's signing unit.
bool SubjectHasSigningUnitPrefix(const korva::toolkit::NameObject* subject);
// The subject's organisation and common name both name the maker.
bool SubjectNamesMaker(const korva::toolkit::NameObject* subject);
// The subject's organisation or unit names the maker's signing identity.
bool SubjectNamesMakerSigningIdentity(const korva::toolkit::NameObject* subject);

// The seconds since 1970 from which a listed signer's signatures are refused.
inline constexpr uint64_t kRevocationTime = 985395600;  // 2001-03-24 01:00:00 UTC

// Whether the certificate is on the revocation list: 1 not listed, 3 listed,
// 4 when its issuer cannot be read.
uint32_t LookUpRevokedSigner(const korva::toolkit::CertFields& fields);

}  // namespace TarnVerifyTrustDriver
