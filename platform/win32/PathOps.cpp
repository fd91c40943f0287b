#include <windows.h>
#include <shlwapi.h>

#include <cwchar>

#include "platform/PathOps.h"

namespace korva::platform {

bool RemoveFileSpec(std::wstring& path) {
    if (path.empty() || ::PathRemoveFileSpecW(path.data()) == FALSE) return false;
    path.resize(std::wcslen(path.c_str()));
    return true;
}

bool IsUncServer(const std::wstring& path) { return ::PathIsUNCServerW(path.c_str()) != FALSE; }

bool AppendPath(std::wstring& path, const wchar_t* more) {
    wchar_t buffer[kMaxPath] = {};
    if (more == nullptr || path.size() >= kMaxPath) return false;
    path.copy(buffer, path.size());
    if (::PathAppendW(buffer, more) == FALSE) return false;
    try {
        path = buffer;
    } catch (...) {
        return false;
    }
    return true;
}

}  // namespace korva::platform
