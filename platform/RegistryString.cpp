// Reading string values, the same on both hosts over RegistryQueryValue.
#include <algorithm>
#include <vector>

#include "platform/Registry.h"
#include "platform/TextConversion.h"

namespace korva::platform {

uint32_t RegistryQueryString(RegKey key, const wchar_t* name, std::wstring& value) {
    try {
        uint32_t type = 0;
        uint32_t size = 0;
        uint32_t error = RegistryQueryValue(key, name, &type, nullptr, &size);
        if (error != kErrorSuccess) return error;
        if (type != kRegSz && type != kRegExpandSz) return kErrorUnsupportedType;
        std::vector<uint8_t> data(size);
        error = RegistryQueryValue(key, name, &type, data.data(), &size);
        if (error != kErrorSuccess) return error;
        if (type != kRegSz && type != kRegExpandSz) return kErrorUnsupportedType;
        value = Utf16LeToWide(data.data(), size);
        value.erase(std::min(value.find(L'\0'), value.size()));
        return kErrorSuccess;
    } catch (...) {
        return kErrorNotEnoughMemory;
    }
}

}  // namespace korva::platform
