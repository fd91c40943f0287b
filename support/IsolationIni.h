// isolate.ini: where it is found and how its values are read.
#pragma once

#include <cstdint>
#include <string>

namespace korva::support {

constexpr uint32_t kRegistryBaseSize = 100;
// Larger files are not read; an isolate.ini holds three short keys.
constexpr uint32_t kMaxIsolationIniBytes = 1u << 20;

// Looks for isolate.ini in the executable's directory and then in each
// ancestor. On success `path` holds it and the result is 0; otherwise a Win32
// error (ERROR_FILE_NOT_FOUND when absent).
uint32_t FindIsolationIni(std::wstring& path);
// The same search starting from the directory of `modulePath` (a file path);
// it stops at the root of the volume or at a UNC server name.
uint32_t FindIsolationIniFrom(const wchar_t* modulePath, std::wstring& path);

// Reads `key` from the [isolation] section; the number of characters placed
// in `buffer` (at most size - 1, NUL-terminated).
uint32_t ReadIsolationIniString(const wchar_t* key, const wchar_t* defaultValue, wchar_t* buffer, uint32_t size,
                                const wchar_t* iniPath);

// The silo registry base ("reghive") into a buffer of kRegistryBaseSize
// characters; a Win32 error code, 0 on success.
uint32_t GetIsolationRegistryBase(wchar_t* buffer, const wchar_t* iniPath);

// The registry view the silo's keys are opened with: 0 (native) when
// "Native64" is exactly "1", otherwise KEY_WOW64_32KEY.
uint32_t ReadIsolationViewFlags(const wchar_t* iniPath);

}  // namespace korva::support
