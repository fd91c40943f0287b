// Host-independent names for the handful of Win32 facts the program relies on.
// Both hosts speak Win32 error codes so that callers never branch on the host.
#pragma once

#include <cstdint>
#include <string>

namespace korva::platform {

using FileHandle = void*;
using RegKey = void*;

inline FileHandle InvalidFileHandle() { return reinterpret_cast<FileHandle>(static_cast<intptr_t>(-1)); }

#ifdef _WIN32
constexpr wchar_t kPathSeparator = L'\\';
#else
constexpr wchar_t kPathSeparator = L'/';
#endif

constexpr uint32_t kMaxPath = 260;

// Win32 error codes.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorHandleEof = 38;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorIoDevice = 1117;

// The calling thread's last error, as GetLastError reports it.
uint32_t LastError();
void SetLastError(uint32_t error);

// What the host says about a Win32 error code, in its own words (FormatMessage
// on Windows, strerror of the matching errno elsewhere), without a line end.
std::string ErrorText(uint32_t error);

}  // namespace korva::platform
