// The POSIX host's read-only registry: the .reg file named by
// KORVA_REGISTRY_FILE, loaded on first use and served with the error codes of
// RegOpenKeyExW and RegQueryValueExW. Only HKEY_LOCAL_MACHINE is reachable.
#include "platform/Registry.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/RegFile.h"
#include "platform/RegistryFixture.h"
#include "platform/TextConversion.h"
#include "platform/Trace.h"
#include "platform/WholeFile.h"

namespace korva::platform {

namespace {

// Host-only trace event: the registry file could not be read or parsed.
constexpr uint32_t kRegistryFileEvent = 90;

constexpr std::wstring_view kLocalMachine = L"HKEY_LOCAL_MACHINE";
constexpr std::wstring_view kSoftware = L"HKEY_LOCAL_MACHINE\\SOFTWARE";
constexpr std::wstring_view kWow64Node = L"WOW6432NODE";

// A handle names a key by its folded path, so it survives a fixture swap.
struct OpenKey {
    std::wstring path;
};

struct Registry {
    std::mutex mutex;
    bool loaded = false;
    RegTree tree;
    OpenKey localMachine{std::wstring(kLocalMachine)};
    std::unordered_set<const OpenKey*> handles;
};

Registry& State() {
    static Registry registry;
    return registry;
}

RegFileStatus LoadFile(const wchar_t* path, RegTree& tree) {
    std::vector<uint8_t> bytes;
    if (ReadWholeFile(path, kMaxRegFileBytes, bytes) != kErrorSuccess) return {RegFileError::Unreadable, 0};
    return ParseRegFile(bytes.data(), bytes.size(), tree);
}

// Caller holds the mutex.
void EnsureLoaded(Registry& registry) {
    if (registry.loaded) return;
    registry.loaded = true;
    const char* file = std::getenv("KORVA_REGISTRY_FILE");
    if (file == nullptr || *file == '\0') return;
    std::wstring path = Utf8ToWide(file);
    RegFileStatus status = LoadFile(path.c_str(), registry.tree);
    if (!status.ok()) {
        std::string reason = RegFileErrorName(status.error);
        trace::Emit(trace::Source::Registry, kRegistryFileEvent, trace::Level::Error,
                    {trace::Text(path), trace::Num(status.line), trace::Text(Utf8ToWide(reason))});
    }
}

const OpenKey* FindHandle(Registry& registry, RegKey key) {
    auto* handle = static_cast<const OpenKey*>(key);
    if (handle == &registry.localMachine || registry.handles.count(handle) != 0) return handle;
    return nullptr;
}

// A 32-bit view sees HKLM\Software\X at HKLM\Software\Wow6432Node\X.
void RedirectTo32BitView(std::wstring& path) {
    if (!path.starts_with(kSoftware)) return;
    std::wstring_view rest = std::wstring_view(path).substr(kSoftware.size());
    if (!rest.empty() && rest.front() != L'\\') return;  // "SOFTWAREX" is another key
    if (rest.size() > 1 && rest.substr(1, kWow64Node.size()) == kWow64Node &&
        (rest.size() == kWow64Node.size() + 1 || rest[kWow64Node.size() + 1] == L'\\')) {
        return;
    }
    path.insert(kSoftware.size(), std::wstring(L"\\") + std::wstring(kWow64Node));
}

bool HasEmptyComponent(std::wstring_view subKey) {
    if (subKey.front() == L'\\' || subKey.back() == L'\\') return true;
    return subKey.find(L"\\\\") != std::wstring_view::npos;
}

void ReplaceTree(Registry& registry, RegFileStatus status, RegTree& parsed) {
    registry.loaded = true;
    registry.tree = status.ok() ? std::move(parsed) : RegTree{};
}

}  // namespace

RegKey LocalMachineKey() { return &State().localMachine; }

uint32_t RegistryOpenKey(RegKey parent, const wchar_t* subKey, uint32_t access, RegKey& key) {
    Registry& registry = State();
    try {
        std::lock_guard lock(registry.mutex);
        EnsureLoaded(registry);
        const OpenKey* base = FindHandle(registry, parent);
        if (base == nullptr) return kErrorInvalidHandle;
        if ((access & (kKeyWow64_32Key | kKeyWow64_64Key)) == (kKeyWow64_32Key | kKeyWow64_64Key)) {
            return kErrorInvalidParameter;
        }
        std::wstring path = base->path;
        if (subKey != nullptr && *subKey != L'\0') {
            if (HasEmptyComponent(subKey)) return kErrorFileNotFound;
            path += L'\\';
            path += FoldRegistryName(subKey);
        }
        if ((access & kKeyWow64_32Key) != 0) RedirectTo32BitView(path);
        if (registry.tree.keys.count(path) == 0) return kErrorFileNotFound;
        auto opened = std::make_unique<OpenKey>(OpenKey{std::move(path)});
        registry.handles.insert(opened.get());
        key = opened.release();
        return kErrorSuccess;
    } catch (...) {
        return kErrorNotEnoughMemory;
    }
}

uint32_t RegistryQueryValue(RegKey key, const wchar_t* name, uint32_t* type, uint8_t* data, uint32_t* size) {
    Registry& registry = State();
    try {
        std::lock_guard lock(registry.mutex);
        EnsureLoaded(registry);
        const OpenKey* handle = FindHandle(registry, key);
        if (handle == nullptr) return kErrorInvalidHandle;
        if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
        auto entry = registry.tree.keys.find(handle->path);
        if (entry == registry.tree.keys.end()) return kErrorKeyDeleted;
        auto value = entry->second.values.find(FoldRegistryName(name == nullptr ? L"" : name));
        if (value == entry->second.values.end()) return kErrorFileNotFound;
        if (type != nullptr) *type = value->second.type;
        if (size == nullptr) return kErrorSuccess;
        auto needed = static_cast<uint32_t>(value->second.data.size());
        uint32_t room = *size;
        *size = needed;
        if (data == nullptr) return kErrorSuccess;
        if (room < needed) return kErrorMoreData;
        if (needed != 0) std::memcpy(data, value->second.data.data(), needed);
        return kErrorSuccess;
    } catch (...) {
        return kErrorNotEnoughMemory;
    }
}

uint32_t RegistryCloseKey(RegKey key) {
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    const OpenKey* handle = FindHandle(registry, key);
    if (handle == nullptr) return kErrorInvalidHandle;
    if (handle == &registry.localMachine) return kErrorSuccess;  // predefined keys stay open
    registry.handles.erase(handle);
    delete handle;
    return kErrorSuccess;
}

namespace testing {

RegFileStatus LoadRegistryFixture(std::string_view regText) {
    RegTree parsed;
    RegFileStatus status = ParseRegFile(reinterpret_cast<const uint8_t*>(regText.data()), regText.size(), parsed);
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    ReplaceTree(registry, status, parsed);
    return status;
}

RegFileStatus LoadRegistryFixtureFile(const wchar_t* path) {
    RegTree parsed;
    RegFileStatus status = LoadFile(path, parsed);
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    ReplaceTree(registry, status, parsed);
    return status;
}

}  // namespace testing

}  // namespace korva::platform
