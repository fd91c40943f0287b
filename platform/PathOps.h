// The shlwapi path helpers the silo search uses. On Windows they keep
// shlwapi's kMaxPath limit; on POSIX they work on '/' separated paths of any
// length with the same rules.
#pragma once

#include <string>
#include <string_view>

#include "platform/Types.h"

namespace korva::platform {

// Joins a directory and a name with the host's separator.
std::wstring JoinPath(std::wstring_view directory, std::wstring_view name);

// PathRemoveFileSpecW: false when nothing was removed.
bool RemoveFileSpec(std::wstring& path);
// PathIsUNCServerW: "\\server" with no share part.
bool IsUncServer(const std::wstring& path);
// PathAppendW; false when the result does not fit (Windows) or on no memory.
bool AppendPath(std::wstring& path, const wchar_t* more);

}  // namespace korva::platform
