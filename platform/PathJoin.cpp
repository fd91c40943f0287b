#include "platform/PathOps.h"

namespace korva::platform {

std::wstring JoinPath(std::wstring_view directory, std::wstring_view name) {
    std::wstring path;
    path.reserve(directory.size() + 1 + name.size());
    path.append(directory);
    path.push_back(kPathSeparator);
    path.append(name);
    return path;
}

}  // namespace korva::platform
