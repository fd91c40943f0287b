// Results of the digest, key and RSA classes.
#pragma once

#include <cstdint>

#include "toolkit/Status.h"

namespace TarnVerifyTrustDriver {

inline constexpr uint32_t kCertSuccess = 1;
inline constexpr uint32_t kCertNoMatch = 3;           // value not recognised or not matching
inline constexpr uint32_t kCertToolkitFailure = 4;
inline constexpr uint32_t kCertUnknownAlgorithm = 5;  // or input missing
inline constexpr uint32_t kCertOutOfMemory = 22;

// A failed toolkit status: out of memory (the core's 518 or the
// certificate layer's 1792) or any other failure.
inline uint32_t CertResultOf(korva::toolkit::Status status) {
    return status == korva::toolkit::kCoreOutOfMemory || status == korva::toolkit::kOutOfMemory ? kCertOutOfMemory
                                                                                                : kCertToolkitFailure;
}

}  // namespace TarnVerifyTrustDriver
