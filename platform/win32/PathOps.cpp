#include <windows.h>
#include <shlwapi.h>

#include "platform/PathOps.h"

namespace korva::platform {

bool RemoveFileSpec(wchar_t* path) { return ::PathRemoveFileSpecW(path) != FALSE; }
bool IsUncServer(const wchar_t* path) { return ::PathIsUNCServerW(path) != FALSE; }
bool AppendPath(wchar_t* path, const wchar_t* more) { return ::PathAppendW(path, more) != FALSE; }

}  // namespace korva::platform
