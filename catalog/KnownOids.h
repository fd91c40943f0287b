// The object identifiers the walker recognises on its own, each with one
// flag bit that rides down the levels below it, so that a callback tells
// positions apart with bit tests rather than OID comparisons.
#pragma once

#include <cstdint>

#include "platform/ByteReader.h"

namespace TarnVerifyTrustDriver {

inline constexpr uint32_t kOidSignedData = 0x1;
inline constexpr uint32_t kOidCertTrustList = 0x2;
inline constexpr uint32_t kOidIndirectData = 0x4;
inline constexpr uint32_t kOidPeImageData = 0x8;
inline constexpr uint32_t kOidMessageDigest = 0x10;
inline constexpr uint32_t kOidSystemComponentVerification = 0x20;
inline constexpr uint32_t kOidHardwareDriverVerification = 0x40;
inline constexpr uint32_t kOidCodeSigning = 0x80;
inline constexpr uint32_t kOidExtendedKeyUsage = 0x100;
inline constexpr uint32_t kOidCatalogList = 0x200;
inline constexpr uint32_t kOidCatalogListMember = 0x400;
inline constexpr uint32_t kOidSha1 = 0x800;
inline constexpr uint32_t kOidMd5 = 0x1000;
inline constexpr uint32_t kOidIndividualCodeSigning = 0x2000;
inline constexpr uint32_t kOidCommercialCodeSigning = 0x4000;
inline constexpr uint32_t kOidCountersignature = 0x8000;
inline constexpr uint32_t kOidAuthorityKeyIdentifier = 0x10000;
inline constexpr uint32_t kOidSubjectKeyIdentifier = 0x20000;
inline constexpr uint32_t kOidSigningTime = 0x40000;

// The flag of the first row whose contents equal `contents` (same length,
// same octets); 0 when none does.
uint32_t KnownOidFlag(korva::platform::ByteSpan contents);

}  // namespace TarnVerifyTrustDriver
