#include "support/IsolationIni.h"

#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/PathOps.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/WholeFile.h"
#include "support/IsolationIniText.h"

namespace korva::support {

namespace {

constexpr const wchar_t* kIniName = L"isolate.ini";
constexpr const wchar_t* kDefaultRegistryBase = L"Software\\Tarnwick\\Isolation";

uint32_t CopyTruncated(const wchar_t* text, wchar_t* buffer, uint32_t size) {
    std::wstring_view view = text == nullptr ? std::wstring_view() : std::wstring_view(text);
    size_t length = view.copy(buffer, size - 1);
    buffer[length] = L'\0';
    return static_cast<uint32_t>(length);
}

std::wstring ReadValue(const wchar_t* key, const wchar_t* iniPath) {
    if (key == nullptr || iniPath == nullptr) return {};
    if (platform::QueryFileAttributes(iniPath) == platform::kInvalidFileAttributes) return {};
    std::vector<uint8_t> bytes;
    if (platform::ReadWholeFile(iniPath, kMaxIsolationIniBytes, bytes) != platform::kErrorSuccess) return {};
    if (bytes.empty()) return {};
    return FindIsolationIniValue(DecodeIsolationIni(bytes.data(), bytes.size()), key);
}

// 0 when "Native64" read into a buffer of `size` characters is "1". A buffer
// of three shows a longer value as longer; the base key's check reads only
// two characters, so there "10" still counts as "1".
uint32_t ViewFlagsRead(const wchar_t* iniPath, uint32_t size) {
    wchar_t native[3] = {};
    uint32_t length = ReadIsolationIniString(L"Native64", L"0", native, size, iniPath);
    return (length == 1 && native[0] == L'1') ? 0 : platform::kKeyWow64_32Key;
}

}  // namespace

uint32_t FindIsolationIni(std::wstring& path) {
    std::wstring module;
    uint32_t error = platform::QueryModulePath(module);
    if (error != platform::kErrorSuccess) return error;
    return FindIsolationIniFrom(module.c_str(), path);
}

uint32_t FindIsolationIniFrom(const wchar_t* modulePath, std::wstring& path) {
    if (modulePath == nullptr) return platform::kErrorInvalidParameter;
    try {
        std::wstring directory = modulePath;
        while (platform::RemoveFileSpec(directory)) {
            if (platform::IsUncServer(directory)) break;
            std::wstring candidate = directory;
            if (platform::AppendPath(candidate, kIniName) &&
                platform::QueryFileAttributes(candidate.c_str()) != platform::kInvalidFileAttributes) {
                path = std::move(candidate);
                return platform::kErrorSuccess;
            }
        }
    } catch (...) {
        return platform::kErrorNotEnoughMemory;
    }
    return platform::kErrorFileNotFound;
}

uint32_t ReadIsolationIniString(const wchar_t* key, const wchar_t* defaultValue, wchar_t* buffer, uint32_t size,
                                const wchar_t* iniPath) {
    if (buffer == nullptr || size == 0) return 0;
    try {
        std::wstring value = ReadValue(key, iniPath);
        if (!value.empty()) return CopyTruncated(value.c_str(), buffer, size);
    } catch (...) {
        // Out of memory reading the file: the default stands, as for an unreadable file.
    }
    return CopyTruncated(defaultValue, buffer, size);
}

uint32_t ReadIsolationViewFlags(const wchar_t* iniPath) { return ViewFlagsRead(iniPath, 3); }

uint32_t GetIsolationRegistryBase(wchar_t* buffer, const wchar_t* iniPath) {
    if (buffer == nullptr) return platform::kErrorInvalidParameter;
    std::wstring found;
    if (iniPath == nullptr) {
        uint32_t error = FindIsolationIni(found);
        if (error == platform::kErrorFileNotFound) {
            CopyTruncated(kDefaultRegistryBase, buffer, kRegistryBaseSize);
            return platform::kErrorSuccess;
        }
        if (error != platform::kErrorSuccess) return error;
        iniPath = found.c_str();
    }
    uint32_t length = ReadIsolationIniString(L"reghive", kDefaultRegistryBase, buffer, kRegistryBaseSize, iniPath);
    if (length == kRegistryBaseSize - 1) return platform::kErrorInsufficientBuffer;

    // The key may legitimately be missing or closed to us; any other failure
    // means the base cannot be used.
    platform::RegKey key = nullptr;
    uint32_t access = platform::kKeyRead | ViewFlagsRead(iniPath, 2);
    uint32_t error = platform::RegistryOpenKey(platform::LocalMachineKey(), buffer, access, key);
    if (error == platform::kErrorSuccess) {
        platform::RegistryCloseKey(key);
    } else if (error != platform::kErrorAccessDenied && error != platform::kErrorFileNotFound) {
        buffer[0] = L'\0';
    }
    return buffer[0] != L'\0' ? platform::kErrorSuccess : platform::kErrorInvalidData;
}

}  // namespace korva::support
