// Results of the digest, key and RSA classes.
#pragma once

#include <cstdint>

#include "platform/Trace.h"
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

// The result of a failed toolkit status, traced under `number`: an error for
// out of memory, a warning otherwise.
inline uint32_t TraceToolkitFailure(uint32_t number, korva::toolkit::Status status) {
    uint32_t result = CertResultOf(status);
    korva::trace::Emit(korva::trace::Source::Crypto, number,
                       result == kCertOutOfMemory ? korva::trace::Level::Error : korva::trace::Level::Warning,
                       {korva::trace::Num(status)});
    return result;
}

}  // namespace TarnVerifyTrustDriver
