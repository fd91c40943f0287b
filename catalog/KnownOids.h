// The object identifiers the walker recognises on its own, each with one
// flag bit that rides down the levels below it, so that a callback tells
// positions apart with bit tests rather than OID comparisons.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

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

// The longest identifier whose key covers every octet.
inline constexpr size_t kMaxKeyedOidLength = 16;

// Two words that tell identifiers of one length apart: their first and their
// last eight octets (four when shorter than eight, all of them when shorter
// than four), overlapping in the middle, so they cover every octet of an
// identifier of at most kMaxKeyedOidLength octets. Each word is the octets
// read little-endian: one load at run time on little-endian hosts, octet by
// octet elsewhere and in constant expressions.
struct OidKey {
    uint64_t first = 0;
    uint64_t last = 0;
    constexpr bool operator==(const OidKey&) const = default;
};

namespace detail {
template <size_t kWidth>
constexpr uint64_t OidWord(const uint8_t* octets) {
    if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
        std::conditional_t<kWidth == 8, uint64_t, uint32_t> loaded;
        static_assert(sizeof(loaded) == kWidth);
        std::memcpy(&loaded, octets, kWidth);
        return loaded;
    }
    uint64_t word = 0;
    for (size_t i = kWidth; i-- > 0;) word = (word << 8) | octets[i];
    return word;
}
}  // namespace detail

// The key of the `length` octets at `contents`.
constexpr OidKey KeyOf(const uint8_t* contents, size_t length) {
    if (length >= 8) return {detail::OidWord<8>(contents), detail::OidWord<8>(contents + length - 8)};
    if (length >= 4) return {detail::OidWord<4>(contents), detail::OidWord<4>(contents + length - 4)};
    uint64_t word = 0;
    for (size_t i = length; i-- > 0;) word = (word << 8) | contents[i];
    return {word, word};
}

// The flag of the first row whose contents equal `contents` (same length,
// same octets); 0 when none does.
uint32_t KnownOidFlag(korva::platform::ByteSpan contents);

}  // namespace TarnVerifyTrustDriver
