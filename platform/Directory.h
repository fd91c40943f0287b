// Directory enumeration with the shape of FindFirstFileW, FindNextFileW and
// FindClose, so that the engine's catalog scan reads the same on both hosts.
//
// On POSIX a search takes a snapshot of the directory's names when it starts:
// those that match the pattern (`*` and `?`, ASCII case-insensitive, as on
// Windows), sorted by upper-cased name as NTFS returns them, so that runs are
// reproducible. An entry is looked at when it is returned, and skipped if it
// is gone by then. Each entry carries its Win32 meaning: a regular file is
// archive (plus read-only without owner write permission), a directory is a
// directory, anything else a device; times are FILETIMEs (100 ns ticks since
// 1601), the creation time being the last-write time, which POSIX does not
// keep apart.
#pragma once

#include <cstdint>

#include "platform/Files.h"
#include "platform/Types.h"

namespace korva::platform {

using FindHandle = void*;

// Attributes beside those of Files.h that a find data may carry.
constexpr uint32_t kFileAttributeSystem = 0x4;
constexpr uint32_t kFileAttributeDevice = 0x40;
constexpr uint32_t kFileAttributeSparseFile = 0x200;
constexpr uint32_t kFileAttributeReparsePoint = 0x400;

struct FileTime {
    uint32_t lowDateTime = 0;
    uint32_t highDateTime = 0;
};

// WIN32_FIND_DATAW, field for field.
struct FindData {
    uint32_t fileAttributes = 0;
    FileTime creationTime;
    FileTime lastAccessTime;
    FileTime lastWriteTime;
    uint32_t fileSizeHigh = 0;
    uint32_t fileSizeLow = 0;
    uint32_t reserved0 = 0;
    uint32_t reserved1 = 0;
    wchar_t fileName[kMaxPath] = {};
    wchar_t alternateFileName[14] = {};
};

// FindFirstFileW(pattern): a directory path, the host separator and a name
// pattern. InvalidFileHandle() on failure, with LastError() set:
// kErrorFileNotFound when nothing matches, kErrorPathNotFound when the
// directory does not exist.
FindHandle FindFirstEntry(const wchar_t* pattern, FindData& data);
// FindNextFileW: false with kErrorNoMoreFiles after the last entry.
bool FindNextEntry(FindHandle search, FindData& data);
// FindClose.
bool CloseFind(FindHandle search);

}  // namespace korva::platform
