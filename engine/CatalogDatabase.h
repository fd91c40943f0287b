// The catalog database handle and the process-wide engine behind it. The
// first handle creates the engine, later handles add references, and the last
// release destroys it.
#pragma once

#include <atomic>
#include <span>
#include <string>

#include "engine/CatalogDatabaseFile.h"
#include "engine/CatalogStore.h"
#include "engine/Status.h"
#include "engine/WorkerCount.h"
#include "platform/ChangeNotification.h"
#include "platform/Directory.h"
#include "platform/Lock.h"

namespace TarnVerifyTrustDriver {

class CCatalogDatabase {
public:
    virtual ~CCatalogDatabase() = default;
};

class ICatalogVerification;

class CCatalogDatabaseSingleton {
public:
    // What a change notification watches: names, attributes, size, last
    // write and security, over the whole subtree.
    static constexpr uint32_t kNotifyFilter = 0x11F;
    static constexpr const wchar_t* kCatalogRoot = L"CatRoot";
    static constexpr const wchar_t* kFirstCatalogDirectory = L"{127D0A1D-4EF2-11D1-8608-00C04FC295EE}";
    static constexpr const wchar_t* kSecondCatalogDirectory = L"{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";

    CCatalogDatabaseSingleton() = default;
    virtual ~CCatalogDatabaseSingleton();
    CCatalogDatabaseSingleton(const CCatalogDatabaseSingleton&) = delete;
    CCatalogDatabaseSingleton& operator=(const CCatalogDatabaseSingleton&) = delete;

    // The engine of this process, or null while no handle is open.
    static CCatalogDatabaseSingleton* Instance();

    HResult Initialize(const wchar_t* directory, CCatalogDatabase* handle);
    void RunUpdateCycle();
    // For a host that stays resident: sleeps until a watched catalog
    // directory changes or `milliseconds` pass. True when the next cycle has
    // something to scan: a change, or a directory without a watch, which
    // every cycle scans.
    bool WaitForCatalogChange(uint32_t milliseconds);
    HResult StopChangeNotifications();
    // With `prepared`, its walk stands in for the store's own (see AddCatalog).
    HResult ProcessCatalogFile(const std::wstring& path, const korva::platform::FindData& entry,
                               ICatalogVerifier& verifier, PreparedWalk* prepared = nullptr);

    const std::wstring& outputDirectory() const { return outputDirectory_; }
    const std::wstring& databasePath() const { return databasePath_; }
    const std::wstring& firstCatalogDirectory() const { return firstCatalogDirectory_; }
    const std::wstring& secondCatalogDirectory() const { return secondCatalogDirectory_; }
    uint32_t referenceCount() const { return referenceCount_.load(); }
    bool populated() const { return populated_; }
    CatalogStore& store() { return store_; }

private:
    friend HResult OpenCatalogDatabase(const wchar_t* directory, CCatalogDatabase* handle);
    friend HResult CloseCatalogDatabase();

    // Loads Cat.DB unless it is open; a file that fails a check is emptied
    // and everything is rebuilt.
    void LoadOrRebuild();
    // A catalog directory that a cycle scans when its notification is
    // missing or has fired; `failureEvent` reports anchors that cannot be set
    // up for it.
    struct ScanTarget {
        const std::wstring* directory;
        korva::platform::NotificationHandle notification;
        uint32_t failureEvent;
    };
    // Scans the targets that changed, in order, through one window of walks,
    // so threads walk on into the next directory while the store still takes
    // in the last catalogs of one; each target is re-armed once listed. True
    // when any was scanned.
    bool ScanChangedDirectories(std::span<const ScanTarget> targets, ICatalogVerification& verification);
    // Whether `target` is to be scanned; the first that is sets up the
    // anchors and the workers.
    bool ScanDue(const ScanTarget& target, ICatalogVerification& verification, bool& anchorsSetUp);
    void ArmChangeNotifications();
    // Up to WorkerCount() - 1 verifiers for the walking threads beside the
    // scanning one, which walks with its own; they live until the anchors
    // are released.
    void SetUpWorkers(ICatalogVerification& verification);
    // Whether a scan entry would be walked by the store, so a thread can
    // walk it ahead; emits nothing.
    bool WalkAheadFor(const std::wstring& path, const korva::platform::FindData& entry);
    // The store's part of one scan entry: skipped names, or the catalog taken in.
    void TakeIn(const std::wstring& directory, const korva::platform::FindData& entry, const std::wstring& path,
                ICatalogVerifier& verifier, PreparedWalk* prepared);

    korva::platform::NotificationHandle firstNotification_ = korva::platform::InvalidFileHandle();
    korva::platform::NotificationHandle secondNotification_ = korva::platform::InvalidFileHandle();
    korva::platform::CriticalSection lock_;
    CCatalogDatabase* databaseHandle_ = nullptr;
    ICatalogVerifier* workers_[kMaxWorkers] = {};
    uint32_t workerCount_ = 0;
    CatalogStore store_;
    bool populated_ = false;
    CatalogDatabaseFile databaseFile_;
    std::wstring databasePath_;
    std::wstring outputDirectory_;
    std::wstring firstCatalogDirectory_;
    std::wstring secondCatalogDirectory_;
    std::atomic<uint32_t> referenceCount_{0};
};

// Entry points of the engine; HRESULT-style statuses.
HResult CreateCatalogDatabase(const wchar_t* directory, CCatalogDatabase** handle);
HResult ReleaseCatalogDatabase(CCatalogDatabase* handle);
HResult OpenCatalogDatabase(const wchar_t* directory, CCatalogDatabase* handle);
HResult CloseCatalogDatabase();

// Removes the whole run of path separators at the end of `path`.
void StripTrailingBackslashes(std::wstring& path);

}  // namespace TarnVerifyTrustDriver
