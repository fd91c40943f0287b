// Which elements the walker accepts: the tags that may be empty when
// constructed, and the tag numbers a primitive element may carry.
#pragma once

#include <cstdint>

#include "catalog/Asn1Node.h"

namespace TarnVerifyTrustDriver {

// Universal tags 0, 4, 5, 7, 9, 12, 16-22, 25-28 and 30.
inline constexpr uint32_t kEmptyAllowedUniversal = 0x5E7F12B1;
// Universal tags 1-12, 18-20 and 22-30: 0, 13-17 and 21 are refused.
inline constexpr uint32_t kAcceptedPrimitiveTags = 0x7FDC1FFE;
inline constexpr uint32_t kMaxLowTag = 30;

// Whether a constructed element with this tag may have no contents.
inline bool EmptyAllowed(uint32_t tag, uint32_t tagClass) {
    uint32_t tagClassBits = tagClass & kAsn1ClassMask;
    if (tagClassBits == kAsn1ContextSpecific) return true;
    return tagClassBits == kAsn1Universal && tag <= kMaxLowTag && ((kEmptyAllowedUniversal >> tag) & 1u) != 0;
}

// The tag-number test of primitive universal, application and private elements.
inline bool PrimitiveTagAccepted(uint32_t tag) {
    return tag <= kMaxLowTag && ((kAcceptedPrimitiveTags >> tag) & 1u) != 0;
}

}  // namespace TarnVerifyTrustDriver
