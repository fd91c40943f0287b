// Results of a walk. A larger value is worse and wins when levels merge.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver {

inline constexpr uint32_t kWalkSuccess = 1;
inline constexpr uint32_t kWalkEmptyFile = 5;
inline constexpr uint32_t kWalkCannotOpen = 8;
inline constexpr uint32_t kWalkCannotRead = 9;
inline constexpr uint32_t kWalkRejected = 11;  // malformed, or refused by the callback
inline constexpr uint32_t kWalkOutOfMemory = 22;

}  // namespace TarnVerifyTrustDriver
