// Cat.DB on disk: a 12-byte header (magic 222, version 8, dirty flag; u32
// little-endian each) and then the store's append-only log. A save sets the
// dirty flag, appends the unsaved entries at the end and clears the flag, so
// an interrupted save leaves a file that the next load refuses.
#pragma once

#include <cstdint>
#include <string>

#include "engine/CatalogStore.h"
#include "engine/LoadDiagnostics.h"
#include "engine/Status.h"
#include "runtime/File.h"

namespace TarnVerifyTrustDriver {

inline constexpr uint32_t kDatabaseMagic = 222;
inline constexpr uint32_t kDatabaseVersion = 8;
inline constexpr uint32_t kDatabaseHeaderSize = 12;

// Checks the header of the Cat.DB bytes behind `stream` and loads the log
// into `store`: 0 (also for an empty file, leaving the store alone) or
// kBadDatabaseFile, with `diagnostics`, when given, naming the broken rule.
HResult LoadDatabase(CatalogStore& store, IStream& stream, LoadDiagnostics* diagnostics = nullptr);

class CatalogDatabaseFile {
public:
    // `directory`: where Cat.DB lives, without a trailing separator.
    explicit CatalogDatabaseFile(std::wstring directory = {}) : directory_(std::move(directory)) {}

    // For a file that is not open yet.
    void SetDirectory(std::wstring directory) { directory_ = std::move(directory); }
    bool IsOpen() const { return stream_.IsOpen(); }
    // Closes Cat.DB; false keeps it open.
    bool Close() { return stream_.Close(); }

    // Opens (creating when absent, keeping any content) unless already open,
    // and attaches the 64 KiB read buffer.
    HResult OpenDatabaseFile();
    // 0 (also for an empty file, leaving the store alone), a failure of
    // OpenDatabaseFile, or kBadDatabaseFile when the file must be discarded.
    HResult LoadDatabaseFile(CatalogStore& store);
    // Appends the store's unsaved entries between two header writes.
    HResult SaveDatabaseFile(CatalogStore& store);

private:
    bool WriteHeader(uint32_t dirty);

    std::wstring directory_;
    CFile stream_;
};

}  // namespace TarnVerifyTrustDriver
