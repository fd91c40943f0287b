// Read-only registry access with RegOpenKeyExW/RegQueryValueExW semantics.
// The POSIX host serves it from a .reg file named by KORVA_REGISTRY_FILE.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace korva::platform {

constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWow64_64Key = 0x100;
constexpr uint32_t kKeyWow64_32Key = 0x200;

constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

constexpr uint32_t kErrorKeyDeleted = 1018;
constexpr uint32_t kErrorUnsupportedType = 1630;

RegKey LocalMachineKey();

// Win32 error code; `key` is written only on success.
uint32_t RegistryOpenKey(RegKey parent, const wchar_t* subKey, uint32_t access, RegKey& key);
// With `data` null only the size is reported. A buffer that is too small gives
// kErrorMoreData with `size` set to what is needed.
uint32_t RegistryQueryValue(RegKey key, const wchar_t* name, uint32_t* type, uint8_t* data, uint32_t* size);
uint32_t RegistryCloseKey(RegKey key);

// A REG_SZ or REG_EXPAND_SZ value as text, taken as stored (no expansion) up
// to its first NUL. String data is UTF-16LE on both hosts; this is the one
// place that decodes it. ERROR_UNSUPPORTED_TYPE for any other type.
uint32_t RegistryQueryString(RegKey key, const wchar_t* name, std::wstring& value);

}  // namespace korva::platform
