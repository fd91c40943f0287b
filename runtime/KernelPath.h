// Paths below the system directory are stored in Cat.DB in kernel form,
// "\SystemRoot\SYSTEM32\" followed by the rest of the path with '\'
// separators on every host, so that a database built on one host names the
// same catalogs as one built on another. Other paths are stored unchanged.
#pragma once

#include <string>
#include <string_view>

namespace TarnVerifyTrustDriver {

inline constexpr std::wstring_view kKernelSystemPrefix = L"\\SystemRoot\\SYSTEM32\\";

// The system directory with a trailing separator; the first successful lookup
// is kept for the process, a failed one is tried again on the next call.
bool GetSystemDirectoryPath(std::wstring& directory);

// Against the process's system directory.
bool ToKernelPath(std::wstring_view path, std::wstring& kernelPath);
bool FromKernelPath(std::wstring_view name, std::wstring& path);

// Against an explicit system directory, given with its trailing separator.
bool ToKernelPath(std::wstring_view systemDirectory, std::wstring_view path, std::wstring& kernelPath);
bool FromKernelPath(std::wstring_view systemDirectory, std::wstring_view name, std::wstring& path);

}  // namespace TarnVerifyTrustDriver
