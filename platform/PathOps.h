// The shlwapi path helpers the silo search uses, over fixed kMaxPath buffers.
// On POSIX they work on '/' separated paths with the same rules.
#pragma once

#include <string>
#include <string_view>

#include "platform/Types.h"

namespace korva::platform {

// Joins a directory and a name with the host's separator.
std::wstring JoinPath(std::wstring_view directory, std::wstring_view name);

// PathRemoveFileSpecW: false when nothing was removed.
bool RemoveFileSpec(wchar_t* path);
// PathIsUNCServerW: "\\server" with no share part.
bool IsUncServer(const wchar_t* path);
// PathAppendW into a buffer of kMaxPath characters.
bool AppendPath(wchar_t* path, const wchar_t* more);

}  // namespace korva::platform
