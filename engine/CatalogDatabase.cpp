#include "engine/CatalogDatabase.h"

#include <cwchar>
#include <iterator>
#include <span>
#include <new>

#include "engine/CatalogVerification.h"
#include "engine/WalkAhead.h"
#include "platform/PathOps.h"
#include "platform/Trace.h"
#include "platform/Types.h"
#include "runtime/KernelPath.h"
#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;
using korva::platform::CriticalSection;
using korva::platform::CriticalSectionGuard;
using korva::platform::InvalidFileHandle;
using korva::platform::JoinPath;
using korva::platform::NotificationHandle;

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

// One catalog directory's listing at a time; closes its search on every way
// out of a scan.
class CatalogListing {
public:
    CatalogListing() = default;
    ~CatalogListing() { Close(); }
    CatalogListing(const CatalogListing&) = delete;
    CatalogListing& operator=(const CatalogListing&) = delete;

    // False when nothing is listed.
    bool Open(const std::wstring& directory) {
        search_ = korva::platform::FindFirstEntry(JoinPath(directory, L"*.cat").c_str(), entry);
        return search_ != InvalidFileHandle();
    }
    // False after the last entry, the search closed.
    bool Next() {
        if (korva::platform::FindNextEntry(search_, entry)) return true;
        Close();
        return false;
    }

    korva::platform::FindData entry;

private:
    void Close() {
        if (search_ != InvalidFileHandle()) korva::platform::CloseFind(search_);
        search_ = InvalidFileHandle();
    }

    korva::platform::FindHandle search_ = InvalidFileHandle();
};

// Closes a valid handle; a failure gives `failureEvent`. The handle is
// invalid afterwards in any case.
void CloseNotification(NotificationHandle& handle, uint32_t failureEvent) {
    if (handle == InvalidFileHandle()) return;
    if (!korva::platform::CloseChangeNotification(handle)) EngineEvent(failureEvent, trace::Level::Error);
    handle = InvalidFileHandle();
}

// A directory without a watch has nothing to re-arm.
void RearmWatch(NotificationHandle handle) {
    if (handle != InvalidFileHandle()) korva::platform::RearmChangeNotification(handle);
}

CatalogFindData FindDataOf(const korva::platform::FindData& entry) {
    CatalogFindData findData;
    findData.attributes = entry.fileAttributes;
    findData.lastWriteTime = {entry.lastWriteTime.lowDateTime, entry.lastWriteTime.highDateTime};
    return findData;
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
        databaseFile_.SetDirectory(outputDirectory_);

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
    if (!databaseFile_.IsOpen()) LoadOrRebuild();

    ICatalogVerification* verification = CatalogVerification();
    uint32_t started = verification->StartContext();
    if (started != ICatalogVerification::kContextStarted) {
        EngineEvent(32, trace::Level::Error, {trace::Num(started)});
    } else {
        // The second directory is scanned first.
        const ScanTarget targets[] = {{&secondCatalogDirectory_, secondNotification_, 33},
                                      {&firstCatalogDirectory_, firstNotification_, 34}};
        // A save failure shows only in the save's own trace events.
        if (ScanChangedDirectories(targets, *verification)) databaseFile_.SaveDatabaseFile(store_);
        ArmChangeNotifications();
        populated_ = true;
        workerCount_ = 0;
        verification->ReleaseTrustAnchors();
    }
    verification->ResetContext();
}

void CCatalogDatabaseSingleton::LoadOrRebuild() {
    if (Failed(databaseFile_.LoadDatabaseFile(store_))) {
        EngineEvent(28, trace::Level::Error);
        databaseFile_.Close();
        // Empty the file for a rebuild through a handle of its own.
        CFile fresh;
        CFileIO::COpenParameters parameters(databasePath_.c_str());
        parameters.create = 1;
        parameters.read = 1;
        parameters.write = 1;
        uint32_t error = 0;
        bool recreated = fresh.Open(parameters, error);
        if (!recreated) EngineEvent(29, trace::Level::Error, {trace::Num(error)});
        fresh.Close();
        // A file that cannot be emptied keeps a populated store as it is.
        if (recreated || !populated_) {
            store_.ClearStore();
            if (Failed(databaseFile_.LoadDatabaseFile(store_))) EngineEvent(30, trace::Level::Information);
        }
    }
    // Without the file the store lives in memory only.
    if (!databaseFile_.IsOpen()) EngineEvent(31, trace::Level::Information);
}

bool CCatalogDatabaseSingleton::ScanDue(const ScanTarget& target, ICatalogVerification& verification,
                                        bool& anchorsSetUp) {
    if (target.notification != InvalidFileHandle() &&
        korva::platform::WaitForChangeNotification(target.notification, 0) != korva::platform::kWaitObject0) {
        return false;
    }
    if (!anchorsSetUp) {
        uint32_t code = verification.SetUpTrustAnchors();
        anchorsSetUp = code == 0;
        // Without anchors every signer fails to chain; the scan still runs.
        if (!anchorsSetUp) {
            EngineEvent(target.failureEvent, target.failureEvent == 33 ? trace::Level::Error : trace::Level::Information,
                        {trace::Num(code)});
        }
        if (anchorsSetUp) SetUpWorkers(verification);
    }
    return true;
}

bool CCatalogDatabaseSingleton::WaitForCatalogChange(uint32_t milliseconds) {
    NotificationHandle armed[2];
    size_t count = 0;
    for (NotificationHandle handle : {firstNotification_, secondNotification_}) {
        if (handle != InvalidFileHandle()) armed[count++] = handle;
    }
    uint32_t result = korva::platform::WaitForAnyChangeNotification({armed, count}, milliseconds);
    return count < std::size(armed) || result < korva::platform::kWaitObject0 + count;
}

void CCatalogDatabaseSingleton::ArmChangeNotifications() {
    struct Watch {
        NotificationHandle& handle;
        const std::wstring& directory;
        uint32_t failureEvent;
    };
    for (const Watch& watch : {Watch{firstNotification_, firstCatalogDirectory_, 35},
                               Watch{secondNotification_, secondCatalogDirectory_, 36}}) {
        if (watch.handle != InvalidFileHandle()) continue;
        watch.handle = korva::platform::OpenChangeNotification(watch.directory.c_str(), true, kNotifyFilter);
        // A directory without a watch is rescanned by every cycle.
        if (watch.handle == InvalidFileHandle()) EngineEvent(watch.failureEvent, trace::Level::Information);
    }
}

void CCatalogDatabaseSingleton::SetUpWorkers(ICatalogVerification& verification) {
    uint32_t wanted = WorkerCount();
    if (wanted < 2) return;
    while (workerCount_ + 1 < wanted) {
        ICatalogVerifier* worker = verification.AddWorkerVerifier();
        // Fewer threads, or none, walk; the result is the same.
        if (worker == nullptr) return;
        workers_[workerCount_++] = worker;
    }
}

bool CCatalogDatabaseSingleton::ScanChangedDirectories(std::span<const ScanTarget> targets,
                                                       ICatalogVerification& verification) {
    bool anchorsSetUp = false;
    bool scanned = false;
    size_t next = 0;
    const ScanTarget* listed = nullptr;
    try {
        CatalogListing listing;
        size_t listedIndex = 0;  // of listing.entry in its directory
        // Lists the next target due that has catalogs; the ones passed on the
        // way are re-armed at once.
        auto listNext = [&] {
            listedIndex = 0;
            while (next < targets.size()) {
                listed = &targets[next++];
                if (!ScanDue(*listed, verification, anchorsSetUp)) continue;
                scanned = true;
                if (listing.Open(*listed->directory)) return true;
                RearmWatch(listed->notification);
            }
            return false;
        };
        bool more = listNext();
        ICatalogVerifier& verifier = verification.Verifier();
        WalkAhead ahead(verifier, {workers_, workerCount_}, store_.callbacks());
        // A second listing of the listed directory runs ahead of the first to
        // find the large catalogs still to come and have them walked early.
        CatalogListing scout;
        const ScanTarget* scouted = nullptr;
        bool scouting = false;
        size_t scoutIndex = 0;
        auto scoutAhead = [&] {
            if (more && scouted != listed && ahead.threads() != 0) {
                scouted = listed;
                scoutIndex = 0;
                scouting = scout.Open(*listed->directory);
            }
            for (; scouting && ahead.EarlyFree(); scouting = scout.Next(), ++scoutIndex) {
                if (scoutIndex <= listedIndex || !ahead.WorthEarly(scout.entry)) continue;
                std::wstring path = JoinPath(*listed->directory, scout.entry.fileName);
                if (!WalkAheadFor(path, scout.entry)) continue;
                WalkAhead::Slot& slot = ahead.PushEarly();
                slot.directory = listed->directory;
                slot.entry = scout.entry;
                slot.path = std::move(path);
                ahead.Queue(slot);
            }
        };
        while (more || !ahead.empty()) {
            // The window fills in scan order and empties in it.
            if (more && !ahead.full()) {
                WalkAhead::Slot& slot = ahead.Push();
                slot.directory = listed->directory;
                slot.entry = listing.entry;
                slot.path = JoinPath(*listed->directory, listing.entry.fileName);
                if (ahead.threads() != 0 && !ahead.Claim(slot) && WalkAheadFor(slot.path, slot.entry)) {
                    ahead.Queue(slot);
                }
                more = listing.Next();
                ++listedIndex;
                if (!more) {
                    RearmWatch(listed->notification);
                    ahead.ReleaseUnclaimed();
                    scouting = false;
                }
                // Threads list the next directory at once; without them it
                // waits until the store has taken this one in, as the
                // anchors may still be set up for it.
                if (!more && ahead.threads() != 0) more = listNext();
                continue;
            }
            // The threads have the window to walk while the scout lists.
            scoutAhead();
            WalkAhead::Slot& slot = ahead.Front();
            TakeIn(*slot.directory, slot.entry, slot.path, verifier, &slot.prepared());
            ahead.Pop();
            if (!more && ahead.empty()) more = listNext();
        }
    } catch (...) {
        // The directories not re-armed are scanned again by the next cycle.
    }
    return scanned;
}

bool CCatalogDatabaseSingleton::WalkAheadFor(const std::wstring& path, const korva::platform::FindData& entry) {
    return databaseHandle_ != nullptr && std::wcschr(entry.fileName, L'\\') == nullptr && path.front() != L'_' &&
           store_.WouldWalk(path, FindDataOf(entry));
}

void CCatalogDatabaseSingleton::TakeIn(const std::wstring& directory, const korva::platform::FindData& entry,
                                       const std::wstring& path, ICatalogVerifier& verifier, PreparedWalk* prepared) {
    // Only a POSIX host can list a name with a backslash: Cat.DB keeps
    // names in kernel form, which reads it back as a separator, so such a
    // catalog would look new, and be appended, on every run.
    if (std::wcschr(entry.fileName, L'\\') != nullptr) {
        EngineEvent(63, trace::Level::Warning, {trace::Text(JoinPath(directory, entry.fileName))});
        return;
    }
    // Only the path's first character is tested: below the system
    // directory that is a drive letter or a separator, so nothing there is
    // skipped, whatever its file name.
    if (path.front() == L'_') {
        EngineEvent(58, trace::Level::Information, {trace::Text(path)});
        return;
    }
    EngineEvent(59, trace::Level::Information, {trace::Text(path)});
    // A catalog that fails does not stop the scan.
    ProcessCatalogFile(path, entry, verifier, prepared);
}

HResult CCatalogDatabaseSingleton::ProcessCatalogFile(const std::wstring& path, const korva::platform::FindData& entry,
                                                      ICatalogVerifier& verifier, PreparedWalk* prepared) {
    if (databaseHandle_ == nullptr) {
        EngineEvent(60, trace::Level::Error);
        return kGeneralFailure;
    }
    if (!store_.AddCatalog(path, FindDataOf(entry), verifier, prepared)) {
        EngineEvent(61, trace::Level::Error);
        return kOutOfMemory;
    }
    return kSuccess;
}

HResult CCatalogDatabaseSingleton::StopChangeNotifications() {
    EngineEvent(37, trace::Level::Information);
    CloseNotification(firstNotification_, 38);
    CloseNotification(secondNotification_, 39);
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
