#include <windows.h>

#include <atomic>

#include "platform/Files.h"
#include "platform/IoFaultPoint.h"

namespace korva::platform {

FileHandle OpenFile(const wchar_t* path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags) {
    // CreateFileW refuses this itself; Wine run as root does not, so the refusal
    // is made here too and holds on every host.
    DWORD attributes = ::GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == FILE_ATTRIBUTE_READONLY &&
        OpenChangesContent(access, disposition)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return InvalidFileHandle();
    }
    HANDLE handle = ::CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
    return handle == INVALID_HANDLE_VALUE ? InvalidFileHandle() : handle;
}

bool CloseFile(FileHandle handle) { return ::CloseHandle(handle) != FALSE; }

bool MoveFileReplacing(const wchar_t* from, const wchar_t* to) {
    return ::MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool RemoveFile(const wchar_t* path) { return ::DeleteFileW(path) != FALSE; }

bool ReadFile(FileHandle handle, void* buffer, uint32_t size, uint32_t& transferred) {
    if (detail::InjectIoFault(detail::IoDirection::Read, size, transferred)) return false;
    DWORD done = 0;
    BOOL ok = ::ReadFile(handle, buffer, size, &done, nullptr);
    transferred = done;
    return ok != FALSE;
}

bool WriteFile(FileHandle handle, const void* buffer, uint32_t size, uint32_t& transferred) {
    if (detail::InjectIoFault(detail::IoDirection::Write, size, transferred)) return false;
    DWORD done = 0;
    BOOL ok = ::WriteFile(handle, buffer, size, &done, nullptr);
    transferred = done;
    return ok != FALSE;
}

uint32_t GetFileSize(FileHandle handle, uint32_t* high) {
    DWORD highPart = 0;
    ::SetLastError(NO_ERROR);  // tells a low part of 0xFFFFFFFF from a failure
    DWORD low = ::GetFileSize(handle, &highPart);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return kInvalidFileSize;
    uint64_t size = (uint64_t{highPart} << 32) | low;
    detail::InjectFileSize(size);
    if (high != nullptr) *high = static_cast<uint32_t>(size >> 32);
    ::SetLastError(NO_ERROR);
    return static_cast<uint32_t>(size);
}

uint32_t QueryFileAttributes(const wchar_t* path) { return ::GetFileAttributesW(path); }

namespace {

using SetFilePointerExType = BOOL(WINAPI*)(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD);
// Stored by every lookup, which streams on other threads may run at once.
std::atomic<SetFilePointerExType> g_setFilePointerEx{nullptr};

bool CallSetFilePointerEx(FileHandle handle, int64_t distance, uint64_t* newPosition, uint32_t method) {
    uint32_t size = 0, moved = 0;
    if (detail::InjectIoFault(detail::IoDirection::Seek, size, moved)) return false;
    LARGE_INTEGER move;
    move.QuadPart = distance;
    LARGE_INTEGER result;
    result.QuadPart = 0;
    BOOL ok = g_setFilePointerEx.load()(handle, move, newPosition != nullptr ? &result : nullptr, method);
    if (ok && newPosition != nullptr) *newPosition = static_cast<uint64_t>(result.QuadPart);
    return ok != FALSE;
}

}  // namespace

FunctionLookup LookupSetFilePointerEx(SetFilePointerExFn& function) {
    function = nullptr;
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) return FunctionLookup::ModuleMissing;
    auto address = reinterpret_cast<SetFilePointerExType>(
        reinterpret_cast<void*>(::GetProcAddress(kernel32, "SetFilePointerEx")));
    if (address == nullptr) return FunctionLookup::FunctionMissing;
    g_setFilePointerEx.store(address);
    function = &CallSetFilePointerEx;
    return FunctionLookup::Found;
}

}  // namespace korva::platform
