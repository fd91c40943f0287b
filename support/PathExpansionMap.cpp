#include "support/PathExpansionMap.h"

#include <atomic>

#include "platform/Lock.h"
#include "platform/Registry.h"
#include "platform/Trace.h"
#include "support/LoadOnce.h"
#include "support/PathExpansion.h"
#include "support/SiloInfo.h"

namespace korva::support {

namespace {

constexpr std::wstring_view kMapSubKey = L"\\Shared Kit\\PathExpansionMap";

struct ExpansionMap {
    std::atomic<uint32_t> opened{0};
    platform::RegKey key = nullptr;
    uint32_t lastError = 0;
    platform::CriticalSection lock;
};

ExpansionMap& Map() {
    static ExpansionMap map;
    return map;
}

void MapEvent(uint32_t number, trace::Level level, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Expansion, number, level, data);
}

// Caller holds the map lock.
bool Open(ExpansionMap& map) {
    const std::wstring* siloPath = GetSiloRegistryPath();
    if (siloPath == nullptr || siloPath->empty()) {
        MapEvent(11, trace::Level::Error);
        return false;
    }
    std::wstring path;
    try {
        path = *siloPath + std::wstring(kMapSubKey);
    } catch (...) {
        return false;
    }
    platform::RegKey key = nullptr;
    uint32_t access = platform::kKeyRead | GetSiloRegistryViewFlags();
    map.lastError = platform::RegistryOpenKey(platform::LocalMachineKey(), path.c_str(), access, key);
    if (map.lastError != platform::kErrorSuccess) {
        MapEvent(12, trace::Level::Error, {trace::Text(path), trace::Num(map.lastError)});
        return false;
    }
    map.key = key;
    return true;
}

}  // namespace

bool OpenPathExpansionMap() {
    ExpansionMap& map = Map();
    return LoadOnce(map.opened, map.lock, [&map] { return Open(map); });
}

bool ResolveFromPathExpansionMap(const std::wstring& name, std::wstring& value) {
    platform::RegKey map = Map().key;
    if (platform::RegistryQueryString(map, name.c_str(), value) == platform::kErrorSuccess) return true;
    platform::RegKey subKey = nullptr;
    uint32_t access = platform::kKeyRead | GetSiloRegistryViewFlags();
    uint32_t error = platform::RegistryOpenKey(map, name.c_str(), access, subKey);
    if (error == platform::kErrorSuccess) {
        error = platform::RegistryQueryString(subKey, L"Path64", value);
        platform::RegistryCloseKey(subKey);
    }
    if (error != platform::kErrorSuccess) {
        MapEvent(15, trace::Level::Verbose, {trace::Text(name), trace::Num(error)});
        return false;
    }
    return true;
}

namespace testing {

void ResetPathExpansionMap() {
    ExpansionMap& map = Map();
    platform::CriticalSectionGuard guard(map.lock);
    if (map.opened.exchange(0, std::memory_order_acq_rel) == 1) platform::RegistryCloseKey(map.key);
    map.key = nullptr;
    map.lastError = 0;
}

}  // namespace testing

}  // namespace korva::support
