// isolate.ini: where it is found and how its values are read.
#pragma once

#include <cstdint>

namespace korva::support {

constexpr uint32_t kIsolationIniPathSize = 261;
constexpr uint32_t kRegistryBaseSize = 100;

// Looks for isolate.ini in the executable's directory and then in each
// ancestor. On success `path` (kIsolationIniPathSize characters) holds it and
// the result is 0; otherwise a Win32 error (ERROR_FILE_NOT_FOUND when absent).
uint32_t FindIsolationIni(wchar_t* path);

// Reads `key` from the [isolation] section; the number of characters placed
// in `buffer` (at most size - 1, NUL-terminated).
uint32_t ReadIsolationIniString(const wchar_t* key, const wchar_t* defaultValue, wchar_t* buffer, uint32_t size,
                                const wchar_t* iniPath);

// The silo registry base ("reghive") into a buffer of kRegistryBaseSize
// characters; a Win32 error code, 0 on success.
uint32_t GetIsolationRegistryBase(wchar_t* buffer, const wchar_t* iniPath);

}  // namespace korva::support
