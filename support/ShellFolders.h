// The special-folder names a path token may use: the Windows CSIDL names
// with their SDK numbers, plus four names resolved by this library itself.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace korva::support {

constexpr uint32_t kCommonSiloData = 0xF0000000u;   // silo data folder below CSIDL_COMMON_APPDATA
constexpr uint32_t kLocalSiloData = 0xF0000001u;    // silo data folder below CSIDL_LOCAL_APPDATA
constexpr uint32_t kProgramFilesX64 = 0xF0000002u;  // "ProgramFilesDir" of CurrentVersion
constexpr uint32_t kCommonFilesX64 = 0xF0000003u;   // "CommonFilesDir" of CurrentVersion

struct SpecialFolder {
    std::wstring_view name;
    uint32_t value;  // a CSIDL number or one of the markers above
};

// Sorted by case-insensitive name, lower-case folding (so "_" sorts before letters).
std::span<const SpecialFolder> SpecialFolderTable();
// Bisection with the table's comparison; null when the name is not a folder.
const SpecialFolder* FindSpecialFolder(std::wstring_view name);
// The folder's path; false, with the trace event of the failed step, when it
// cannot be had.
bool ResolveSpecialFolder(uint32_t value, std::wstring& path);

}  // namespace korva::support
