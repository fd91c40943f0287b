// shlwapi's path rules for '/' separated paths, without its length limit.
#include "platform/PathOps.h"

#include <cwchar>

namespace korva::platform {

bool RemoveFileSpec(std::wstring& path) {
    size_t slash = path.rfind(L'/');
    if (slash == std::wstring::npos) {
        if (path.empty()) return false;
        path.clear();
        return true;
    }
    if (slash == 0) {  // "/name" keeps the root, "/" itself has nothing to remove
        if (path.size() == 1) return false;
        path.resize(1);
        return true;
    }
    path.resize(slash);
    return true;
}

bool IsUncServer(const std::wstring& path) {
    // A "//server" prefix with nothing after the server name.
    if (path.size() < 3 || path[0] != L'/' || path[1] != L'/' || path[2] == L'/') return false;
    return path.find(L'/', 2) == std::wstring::npos;
}

bool AppendPath(std::wstring& path, const wchar_t* more) {
    if (more == nullptr) return false;
    while (*more == L'/') ++more;
    try {
        if (!path.empty() && path.back() != L'/' && *more != L'\0') path.push_back(L'/');
        path.append(more);
    } catch (...) {
        return false;
    }
    return true;
}

}  // namespace korva::platform
