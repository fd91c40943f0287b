#include "engine/CatalogDatabase.h"

#include <new>

#include "platform/PathOps.h"
#include "platform/Trace.h"
#include "platform/Types.h"
#include "runtime/KernelPath.h"
#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;
using korva::platform::CriticalSection;
using korva::platform::CriticalSectionGuard;
using korva::platform::JoinPath;

namespace {

// Guards the engine pointer and its reference count.
CriticalSection& EngineLock() {
    static CriticalSection lock;
    return lock;
}

CCatalogDatabaseSingleton* g_engine = nullptr;

void EngineEvent(uint32_t number, trace::Level level, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Engine, number, level, data);
}

}  // namespace

CCatalogDatabaseSingleton* CCatalogDatabaseSingleton::Instance() {
    CriticalSectionGuard guard(EngineLock());
    return g_engine;
}

CCatalogDatabaseSingleton::~CCatalogDatabaseSingleton() { StopChangeNotifications(); }

void StripTrailingBackslashes(std::wstring& path) {
    size_t keep = path.find_last_not_of(korva::platform::kPathSeparator);
    path.erase(keep == std::wstring::npos ? 0 : keep + 1);
}

HResult CCatalogDatabaseSingleton::Initialize(const wchar_t* directory, CCatalogDatabase* handle) {
    if (directory == nullptr || *directory == L'\0') {
        EngineEvent(24, trace::Level::Error);
        return kInvalidArgument;
    }
    try {
        outputDirectory_ = directory;
        StripTrailingBackslashes(outputDirectory_);
        databasePath_ = JoinPath(outputDirectory_, L"Cat.DB");

        // The same lookup the kernel paths use; without a system directory
        // the catalog directories are relative and the scan finds nothing.
        std::wstring systemDirectory;
        if (!GetSystemDirectoryPath(systemDirectory)) systemDirectory.clear();
        StripTrailingBackslashes(systemDirectory);
        std::wstring catalogRoot = JoinPath(systemDirectory, kCatalogRoot);
        firstCatalogDirectory_ = JoinPath(catalogRoot, kFirstCatalogDirectory);
        secondCatalogDirectory_ = JoinPath(catalogRoot, kSecondCatalogDirectory);
    } catch (...) {
        return kOutOfMemory;
    }
    databaseHandle_ = handle;
    return kSuccess;
}

void CCatalogDatabaseSingleton::RunUpdateCycle() {
    EngineEvent(27, trace::Level::Information);
    // Loading Cat.DB, scanning the catalog directories and saving are not
    // built yet; the cycle marks the engine as having run once.
    populated_ = true;
}

HResult CCatalogDatabaseSingleton::StopChangeNotifications() {
    EngineEvent(37, trace::Level::Information);
    databaseHandle_ = nullptr;
    EngineEvent(40, trace::Level::Information);
    return kSuccess;
}

HResult OpenCatalogDatabase(const wchar_t* directory, CCatalogDatabase* handle) {
    CriticalSectionGuard guard(EngineLock());
    if (g_engine == nullptr) {
        auto* engine = new (std::nothrow) CCatalogDatabaseSingleton();
        if (engine == nullptr) return kOutOfMemory;
        g_engine = engine;
        HResult status = engine->Initialize(directory, handle);
        if (Failed(status)) {
            delete engine;
            g_engine = nullptr;
            return status;
        }
    }
    g_engine->referenceCount_.fetch_add(1);
    return kSuccess;
}

HResult CloseCatalogDatabase() {
    CriticalSectionGuard guard(EngineLock());
    if (g_engine != nullptr && g_engine->referenceCount_.fetch_sub(1) == 1) {
        HResult status = g_engine->StopChangeNotifications();
        if (Failed(status)) EngineEvent(65, trace::Level::Error, {trace::Num(static_cast<uint32_t>(status))});
        delete g_engine;
        g_engine = nullptr;
    }
    return kSuccess;
}

HResult CreateCatalogDatabase(const wchar_t* directory, CCatalogDatabase** handle) {
    if (handle == nullptr) return kInvalidPointer;
    void* storage = AllocateObject(sizeof(CCatalogDatabase), nullptr);
    if (storage == nullptr) return kOutOfMemory;  // the allocator traced the size
    auto* database = new (storage) CCatalogDatabase();
    HResult status = OpenCatalogDatabase(directory, database);
    if (Failed(status)) EngineEvent(12, trace::Level::Error, {trace::Num(static_cast<uint32_t>(status))});
    *handle = database;
    return kSuccess;
}

HResult ReleaseCatalogDatabase(CCatalogDatabase* handle) {
    if (handle == nullptr) return kInvalidPointer;
    HResult status = CloseCatalogDatabase();
    if (Failed(status)) EngineEvent(17, trace::Level::Error, {trace::Num(static_cast<uint32_t>(status))});
    handle->~CCatalogDatabase();
    FreeObject(handle);
    return kSuccess;
}

}  // namespace TarnVerifyTrustDriver
