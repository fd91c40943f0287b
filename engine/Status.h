// HRESULT-style statuses of the engine's entry points: negative is failure.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver {

using HResult = int32_t;

constexpr HResult kSuccess = 0;
constexpr HResult kGeneralFailure = static_cast<HResult>(0x80004005u);
constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000Eu);
constexpr HResult kInvalidArgument = static_cast<HResult>(0x80070057u);
constexpr HResult kBadDatabaseFile = static_cast<HResult>(0x8007054Eu);
// The certificate toolkit's invalid-argument code, shared for null pointers.
constexpr HResult kInvalidPointer = 1799;

inline bool Failed(HResult status) { return status < 0; }

}  // namespace TarnVerifyTrustDriver
