#include "support/SiloInfo.h"

#include <atomic>
#include <string_view>

#include "platform/Lock.h"
#include "platform/Registry.h"
#include "platform/Trace.h"
#include "support/IsolationIni.h"
#include "support/LoadOnce.h"

namespace korva::support {

namespace {

constexpr uint32_t kSiloBufferSize = 40;
constexpr size_t kGuidLength = 38;

struct SiloInfo {
    std::atomic<uint32_t> loaded{0};
    std::wstring id;
    std::wstring registryPath;
    uint32_t viewFlags = 0;
    platform::CriticalSection lock;
};

SiloInfo& Silo() {
    static SiloInfo silo;
    return silo;
}

bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'); }

// "{8-4-4-4-12}" with hexadecimal digits of either case.
bool IsRegistryGuid(std::wstring_view text) {
    if (text.size() != kGuidLength || text.front() != L'{' || text.back() != L'}') return false;
    for (size_t i = 1; i + 1 < kGuidLength; ++i) {
        bool hyphen = i == 9 || i == 14 || i == 19 || i == 24;
        if (hyphen ? text[i] != L'-' : !IsHexDigit(text[i])) return false;
    }
    return true;
}

// Fills every field; the caller publishes them by setting `loaded`.
bool Load(SiloInfo& silo) {
    std::wstring ini;
    if (FindIsolationIni(ini) != platform::kErrorSuccess) return false;
    const wchar_t* iniPath = ini.c_str();
    wchar_t id[kSiloBufferSize] = {};
    uint32_t length = ReadIsolationIniString(L"silo", L"", id, kSiloBufferSize, iniPath);
    if (length == kSiloBufferSize - 1 || !IsRegistryGuid({id, length})) return false;
    wchar_t base[kRegistryBaseSize] = {};
    if (GetIsolationRegistryBase(base, iniPath) != platform::kErrorSuccess) return false;
    try {
        silo.id.assign(id, length);
        silo.registryPath = std::wstring(base) + L'\\' + silo.id;
    } catch (...) {
        return false;
    }
    silo.viewFlags = ReadIsolationViewFlags(iniPath);
    return true;
}

void SiloUnavailable(uint32_t event) { trace::Emit(trace::Source::Silo, event, trace::Level::Error); }

}  // namespace

bool InitSiloInfo() {
    SiloInfo& silo = Silo();
    return LoadOnce(silo.loaded, silo.lock, [&silo] { return Load(silo); });
}

const std::wstring* GetSiloId() {
    if (!InitSiloInfo()) {
        SiloUnavailable(10);
        return nullptr;
    }
    return &Silo().id;
}

const std::wstring* GetSiloRegistryPath() {
    if (!InitSiloInfo()) {
        SiloUnavailable(11);
        return nullptr;
    }
    return &Silo().registryPath;
}

uint32_t GetSiloRegistryViewFlags() {
    if (!InitSiloInfo()) {
        SiloUnavailable(12);
        return 0;
    }
    return Silo().viewFlags;
}

namespace testing {

void ResetSiloInfo() {
    SiloInfo& silo = Silo();
    platform::CriticalSectionGuard guard(silo.lock);
    silo.loaded.store(0, std::memory_order_release);
    silo.id.clear();
    silo.registryPath.clear();
    silo.viewFlags = 0;
}

}  // namespace testing

}  // namespace korva::support
