#include <windows.h>

#include "platform/Registry.h"

namespace korva::platform {

RegKey LocalMachineKey() { return reinterpret_cast<RegKey>(HKEY_LOCAL_MACHINE); }

uint32_t RegistryOpenKey(RegKey parent, const wchar_t* subKey, uint32_t access, RegKey& key) {
    HKEY opened = nullptr;
    LSTATUS status = ::RegOpenKeyExW(reinterpret_cast<HKEY>(parent), subKey, 0, access, &opened);
    if (status == ERROR_SUCCESS) key = reinterpret_cast<RegKey>(opened);
    return static_cast<uint32_t>(status);
}

uint32_t RegistryQueryValue(RegKey key, const wchar_t* name, uint32_t* type, uint8_t* data, uint32_t* size) {
    DWORD valueType = 0;
    DWORD valueSize = size != nullptr ? *size : 0;
    LSTATUS status = ::RegQueryValueExW(reinterpret_cast<HKEY>(key), name, nullptr, &valueType, data,
                                        size != nullptr ? &valueSize : nullptr);
    if (type != nullptr) *type = valueType;
    if (size != nullptr) *size = valueSize;
    return static_cast<uint32_t>(status);
}

uint32_t RegistryCloseKey(RegKey key) { return static_cast<uint32_t>(::RegCloseKey(reinterpret_cast<HKEY>(key))); }

}  // namespace korva::platform
