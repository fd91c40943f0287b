// Facts about the running process and its host system.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace korva::platform {

// The executable's full path: 0 or a Win32 error. Windows reads it with
// GetModuleFileNameW into kMaxPath characters (a longer path comes back cut,
// as that call does); the POSIX host returns the whole path.
uint32_t QueryModulePath(std::wstring& path);

// GetSystemDirectoryW: length without the NUL, the size needed when `size` is
// too small, 0 on failure.
uint32_t QuerySystemDirectory(wchar_t* buffer, uint32_t size);

// IsWow64Process looked up in kernel32 at run time.
enum class Wow64State { FunctionMissing, CallFailed, Wow64, Native };
Wow64State QueryWow64();

// SHGetFolderPathW(NULL, csidl, NULL, flags, buffer[kMaxPath]): an HRESULT.
int32_t QueryFolderPath(int csidl, uint32_t flags, wchar_t* buffer);
// SHGetSpecialFolderPathW(NULL, buffer[kMaxPath], csidl, create).
bool QuerySpecialFolderPath(wchar_t* buffer, int csidl, bool create);

// Writes already-formatted text to standard output.
void WriteStandardOutput(const std::wstring& text);

}  // namespace korva::platform
