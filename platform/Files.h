// Handle-level file access with Win32 semantics: the engine's streams and the
// isolate.ini reader are written once against these calls.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace korva::platform {

constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 1;
constexpr uint32_t kFileShareWrite = 2;
constexpr uint32_t kFileShareDelete = 4;
constexpr uint32_t kCreateNew = 1;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;
constexpr uint32_t kOpenAlways = 4;
constexpr uint32_t kTruncateExisting = 5;
constexpr uint32_t kFileAttributeReadOnly = 0x1;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kFileAttributeNormal = 0x80;
constexpr uint32_t kFileFlagDeleteOnClose = 0x04000000u;
constexpr uint32_t kInvalidFileSize = 0xFFFFFFFFu;
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

constexpr uint32_t kFileBegin = 0;
constexpr uint32_t kFileCurrent = 1;
constexpr uint32_t kFileEnd = 2;

// Whether an open would write or empty an existing file: Windows refuses such an
// open of a READONLY file even to an administrator.
constexpr bool OpenChangesContent(uint32_t access, uint32_t disposition) {
    return (access & kGenericWrite) != 0 || disposition == kCreateAlways || disposition == kTruncateExisting;
}

// CreateFileW: InvalidFileHandle() on failure, with LastError() set.
FileHandle OpenFile(const wchar_t* path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags);
// CloseHandle: false leaves the handle for the caller to close again.
bool CloseFile(FileHandle handle);
// ReadFile/WriteFile at the handle's offset; `transferred` is always written.
bool ReadFile(FileHandle handle, void* buffer, uint32_t size, uint32_t& transferred);
bool WriteFile(FileHandle handle, const void* buffer, uint32_t size, uint32_t& transferred);
// GetFileSize: the low 32 bits and, when `high` is given, the high 32 bits;
// kInvalidFileSize with LastError() set on failure (kErrorSuccess otherwise,
// so that a low part of 0xFFFFFFFF tells itself from a failure).
uint32_t GetFileSize(FileHandle handle, uint32_t* high);
// GetFileAttributesW: kInvalidFileAttributes when the path does not exist.
uint32_t QueryFileAttributes(const wchar_t* path);

// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH: `to`
// names `from`'s file afterwards, in one step on the same volume (rename on
// POSIX hosts); false with LastError() set.
bool MoveFileReplacing(const wchar_t* from, const wchar_t* to);
// DeleteFileW: false with LastError() set.
bool RemoveFile(const wchar_t* path);

// SetFilePointerEx, which the stream resolves by name before every move.
using SetFilePointerExFn = bool (*)(FileHandle handle, int64_t distance, uint64_t* newPosition, uint32_t method);
enum class FunctionLookup { Found, ModuleMissing, FunctionMissing };
FunctionLookup LookupSetFilePointerEx(SetFilePointerExFn& function);

}  // namespace korva::platform
