// shlwapi's path rules for '/' separated paths.
#include "platform/PathOps.h"

#include <cwchar>

#include "platform/Types.h"

namespace korva::platform {

bool RemoveFileSpec(wchar_t* path) {
    if (path == nullptr) return false;
    size_t length = std::wcslen(path);
    wchar_t* slash = std::wcsrchr(path, L'/');
    if (slash == nullptr) {
        if (length == 0) return false;
        path[0] = L'\0';
        return true;
    }
    if (slash == path) {  // "/name" keeps the root, "/" itself has nothing to remove
        if (length == 1) return false;
        path[1] = L'\0';
        return true;
    }
    *slash = L'\0';
    return true;
}

bool IsUncServer(const wchar_t* path) {
    // A "//server" prefix with nothing after the server name.
    if (path == nullptr || path[0] != L'/' || path[1] != L'/' || path[2] == L'/') return false;
    return std::wcschr(path + 2, L'/') == nullptr;
}

bool AppendPath(wchar_t* path, const wchar_t* more) {
    if (path == nullptr || more == nullptr) return false;
    while (*more == L'/') ++more;
    size_t length = std::wcslen(path);
    size_t extra = std::wcslen(more);
    bool needSlash = length > 0 && path[length - 1] != L'/' && extra > 0;
    if (length + (needSlash ? 1 : 0) + extra + 1 > kMaxPath) return false;
    if (needSlash) path[length++] = L'/';
    std::wmemcpy(path + length, more, extra + 1);
    return true;
}

}  // namespace korva::platform
