#include "support/ShellFolders.h"

#include <algorithm>

#include "platform/PathOps.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/TextConversion.h"
#include "platform/Trace.h"
#include "support/PathExpansion.h"
#include "support/SiloInfo.h"

namespace korva::support {

namespace {

constexpr int kCsidlLocalAppData = 0x1C;
constexpr int kCsidlCommonAppData = 0x23;
constexpr uint32_t kFolderTypeDefault = 1;  // SHGFP_TYPE_DEFAULT
constexpr size_t kMaxExtensionLength = 49;
constexpr const wchar_t* kDefaultExtension = L"Tarnwick";
constexpr const wchar_t* kCurrentVersionKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

constexpr SpecialFolder kFolders[] = {
    {L"COMMON_SILO_DATA", kCommonSiloData},
    {L"CSIDL_ADMINTOOLS", 0x30},
    {L"CSIDL_ALTSTARTUP", 0x1D},
    {L"CSIDL_APPDATA", 0x1A},
    {L"CSIDL_BITBUCKET", 0x0A},
    {L"CSIDL_CDBURN_AREA", 0x3B},
    {L"CSIDL_COMMON_ADMINTOOLS", 0x2F},
    {L"CSIDL_COMMON_ALTSTARTUP", 0x1E},
    {L"CSIDL_COMMON_APPDATA", 0x23},
    {L"CSIDL_COMMON_DESKTOPDIRECTORY", 0x19},
    {L"CSIDL_COMMON_DOCUMENTS", 0x2E},
    {L"CSIDL_COMMON_FAVORITES", 0x1F},
    {L"CSIDL_COMMON_MUSIC", 0x35},
    {L"CSIDL_COMMON_OEM_LINKS", 0x3A},
    {L"CSIDL_COMMON_PICTURES", 0x36},
    {L"CSIDL_COMMON_PROGRAMS", 0x17},
    {L"CSIDL_COMMON_STARTMENU", 0x16},
    {L"CSIDL_COMMON_STARTUP", 0x18},
    {L"CSIDL_COMMON_TEMPLATES", 0x2D},
    {L"CSIDL_COMMON_VIDEO", 0x37},
    {L"CSIDL_COMPUTERSNEARME", 0x3D},
    {L"CSIDL_CONNECTIONS", 0x31},
    {L"CSIDL_CONTROLS", 0x03},
    {L"CSIDL_COOKIES", 0x21},
    {L"CSIDL_DESKTOP", 0x00},
    {L"CSIDL_DESKTOPDIRECTORY", 0x10},
    {L"CSIDL_DRIVES", 0x11},
    {L"CSIDL_FAVORITES", 0x06},
    {L"CSIDL_FONTS", 0x14},
    {L"CSIDL_HISTORY", 0x22},
    {L"CSIDL_INTERNET", 0x01},
    {L"CSIDL_INTERNET_CACHE", 0x20},
    {L"CSIDL_LOCAL_APPDATA", 0x1C},
    {L"CSIDL_MYMUSIC", 0x0D},
    {L"CSIDL_MYPICTURES", 0x27},
    {L"CSIDL_MYVIDEO", 0x0E},
    {L"CSIDL_NETHOOD", 0x13},
    {L"CSIDL_NETWORK", 0x12},
    {L"CSIDL_PERSONAL", 0x05},
    {L"CSIDL_PRINTERS", 0x04},
    {L"CSIDL_PRINTHOOD", 0x1B},
    {L"CSIDL_PROFILE", 0x28},
    {L"CSIDL_PROGRAM_FILES", 0x26},
    {L"CSIDL_PROGRAM_FILES_COMMON", 0x2B},
    {L"CSIDL_PROGRAM_FILES_COMMONX64", kCommonFilesX64},
    {L"CSIDL_PROGRAM_FILES_COMMONX86", 0x2C},
    {L"CSIDL_PROGRAM_FILESX64", kProgramFilesX64},
    {L"CSIDL_PROGRAM_FILESX86", 0x2A},
    {L"CSIDL_PROGRAMS", 0x02},
    {L"CSIDL_RECENT", 0x08},
    {L"CSIDL_RESOURCES", 0x38},
    {L"CSIDL_RESOURCES_LOCALIZED", 0x39},
    {L"CSIDL_SENDTO", 0x09},
    {L"CSIDL_STARTMENU", 0x0B},
    {L"CSIDL_STARTUP", 0x07},
    {L"CSIDL_SYSTEM", 0x25},
    {L"CSIDL_SYSTEMX86", 0x29},
    {L"CSIDL_TEMPLATES", 0x15},
    {L"CSIDL_WINDOWS", 0x24},
    {L"LOCAL_SILO_DATA", kLocalSiloData},
};

void ExpansionEvent(uint32_t number, std::initializer_list<trace::Value> data) {
    trace::Emit(trace::Source::Expansion, number, trace::Level::Error, data);
}

std::wstring SiloDataExtension() {
    // %APPDATAEXTENSION% may itself lead back to a silo data folder; only the
    // outermost folder expands it, so that such a map cannot recurse forever.
    thread_local bool expanding = false;
    std::wstring extension;
    bool expanded = false;
    if (!expanding) {
        expanding = true;
        expanded = ExpandPath(L"%APPDATAEXTENSION%", extension);
        expanding = false;
    }
    if (!expanded) extension = kDefaultExtension;
    if (extension.size() > kMaxExtensionLength) extension.resize(kMaxExtensionLength);
    return extension;
}

bool SiloDataFolder(int csidl, std::wstring& path) {
    std::wstring extension = SiloDataExtension();
    const std::wstring* siloId = GetSiloId();
    wchar_t buffer[platform::kMaxPath] = {};
    if (siloId != nullptr && platform::QuerySpecialFolderPath(buffer, csidl, false)) {
        path = buffer;
        if (platform::AppendPath(path, extension.c_str()) && platform::AppendPath(path, siloId->c_str())) return true;
    }
    ExpansionEvent(19, {trace::Num(static_cast<uint32_t>(csidl))});
    path.clear();
    return false;
}

bool CurrentVersionValue(const wchar_t* name, std::wstring& path) {
    platform::RegKey key = nullptr;
    uint32_t error = platform::RegistryOpenKey(platform::LocalMachineKey(), kCurrentVersionKey,
                                               platform::kKeyRead | platform::kKeyWow64_64Key, key);
    if (error != platform::kErrorSuccess) {
        ExpansionEvent(17, {trace::Num(error)});
        return false;
    }
    error = platform::RegistryQueryString(key, name, path);
    platform::RegistryCloseKey(key);
    if (error != platform::kErrorSuccess) {
        ExpansionEvent(18, {trace::Text(name), trace::Num(error)});
        return false;
    }
    return true;
}

}  // namespace

std::span<const SpecialFolder> SpecialFolderTable() { return kFolders; }

const SpecialFolder* FindSpecialFolder(std::wstring_view name) {
    const SpecialFolder* end = std::end(kFolders);
    const SpecialFolder* found = std::lower_bound(std::begin(kFolders), end, name,
        [](const SpecialFolder& row, std::wstring_view key) { return platform::CompareIgnoreAsciiCase(row.name, key) < 0; });
    return (found != end && platform::CompareIgnoreAsciiCase(found->name, name) == 0) ? found : nullptr;
}

bool ResolveSpecialFolder(uint32_t value, std::wstring& path) {
    switch (value) {
        case kCommonSiloData: return SiloDataFolder(kCsidlCommonAppData, path);
        case kLocalSiloData: return SiloDataFolder(kCsidlLocalAppData, path);
        case kProgramFilesX64: return CurrentVersionValue(L"ProgramFilesDir", path);
        case kCommonFilesX64: return CurrentVersionValue(L"CommonFilesDir", path);
        default: break;
    }
    wchar_t buffer[platform::kMaxPath] = {};
    int32_t result = platform::QueryFolderPath(static_cast<int>(value), kFolderTypeDefault, buffer);
    if (result < 0) {
        ExpansionEvent(20, {trace::Num(value), trace::Num(static_cast<uint32_t>(result))});
        return false;
    }
    path = buffer;
    return true;
}

}  // namespace korva::support
