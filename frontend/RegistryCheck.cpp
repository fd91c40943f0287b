#include "frontend/RegistryCheck.h"

#include "frontend/Console.h"
#include "platform/ByteReader.h"
#include "platform/Registry.h"
#include "platform/Trace.h"
#include "platform/Types.h"
#include "support/SiloInfo.h"

namespace CatalogDB {

namespace {

namespace trace = korva::trace;
namespace platform = korva::platform;

constexpr uint32_t kBothViews = platform::kKeyWow64_64Key | platform::kKeyWow64_32Key;

// Reads the DWORD from an opened key; prints what it found.
bool CheckValue(platform::RegKey key, const std::wstring& valueName) {
    uint8_t data[4] = {};
    uint32_t size = sizeof data;
    uint32_t type = platform::kRegNone;
    uint32_t error = platform::RegistryQueryValue(key, valueName.c_str(), &type, data, &size);
    if (error == platform::kErrorSuccess && type == platform::kRegDword) {
        // REG_DWORD is little-endian whatever the host's order; a shorter
        // value leaves the rest of the zeroed buffer.
        uint32_t word = 0;
        platform::ByteReader reader(data, sizeof data);
        if (!reader.ReadU32Le(word)) word = 0;
        const auto value = static_cast<int32_t>(word);
        Print(L"Registry key value: %d\n", static_cast<int>(value));
        return value != 0;
    }
    if (error == platform::kErrorSuccess) trace::Emit(trace::Source::Registry, 29, trace::Level::Error);
    Print(L"Error: Failed to get registry value %s\n", valueName.c_str());
    return false;
}

}  // namespace

bool CheckRegistryKey(const Options& options) {
    const std::wstring* siloPath = korva::support::GetSiloRegistryPath();
    if (siloPath == nullptr || siloPath->empty()) {
        Print(L"Error: Failed to get silo registry path. ****Is isolate.ini missing?****\n");
        return false;
    }
    const std::wstring keyPath = *siloPath + FormatText(L"\\%s", options.registryKey.c_str());

    uint32_t access = platform::kKeyRead | korva::support::GetSiloRegistryViewFlags();
    if ((access & kBothViews) == kBothViews) trace::Emit(trace::Source::Registry, 10, trace::Level::Error);

    platform::RegKey key = nullptr;
    uint32_t error = platform::RegistryOpenKey(platform::LocalMachineKey(), keyPath.c_str(), access, key);
    if (error != platform::kErrorSuccess) {
        if (error == platform::kErrorFileNotFound) {
            trace::Emit(trace::Source::Registry, 19, trace::Level::Verbose, {trace::Text(keyPath), trace::Num(access)});
        } else {
            trace::Emit(trace::Source::Registry, 20, trace::Level::Error,
                        {trace::Text(keyPath), trace::Num(access), trace::Num(error)});
        }
        Print(L"Error: Failed to open registry key %s\n", keyPath.c_str());
        return false;
    }
    bool result = CheckValue(key, options.registryValue);
    platform::RegistryCloseKey(key);
    return result;
}

}  // namespace CatalogDB
