#include "platform/posix/HostPath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string_view>

#include "platform/TextConversion.h"

namespace korva::platform {

namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The entry of `directory` that equals `name` without regard to ASCII case;
// the smallest such name when there are several, so that runs repeat.
bool FindFolded(const std::string& directory, std::string_view name, std::string& found) {
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return false;
    bool any = false;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view candidate = entry->d_name;
        if (EqualsIgnoreAsciiCase(candidate, name) && (!any || candidate < found)) {
            found.assign(candidate);
            any = true;
        }
    }
    ::closedir(dir);
    return any;
}

}  // namespace

std::string HostPath(const wchar_t* path) {
    std::string exact = WideToUtf8(path);
    const char* system = std::getenv("KORVA_SYSTEM_DIR");
    std::string_view root = system == nullptr ? std::string_view() : std::string_view(system);
    while (root.size() > 1 && root.back() == '/') root.remove_suffix(1);
    if (root.empty() || exact.size() <= root.size() || exact.compare(0, root.size(), root) != 0 ||
        exact[root.size()] != '/' || Exists(exact)) {
        return exact;
    }
    // Walk the components below the system directory; the first that cannot
    // be found either way ends the walk, and the rest is kept as given.
    std::string resolved(root);
    size_t at = root.size();
    while (at < exact.size()) {
        size_t end = exact.find('/', at + 1);
        if (end == std::string::npos) end = exact.size();
        std::string_view component = std::string_view(exact).substr(at + 1, end - at - 1);
        std::string folded;
        std::string next = resolved + '/' + std::string(component);
        if (!component.empty() && !Exists(next) && FindFolded(resolved, component, folded)) {
            next = resolved + '/' + folded;
        } else if (!Exists(next)) {
            return next + exact.substr(end);
        }
        resolved = std::move(next);
        at = end;
    }
    return resolved;
}

}  // namespace korva::platform
