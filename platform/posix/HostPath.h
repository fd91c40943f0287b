// Wide paths as the POSIX system calls take them.
#pragma once

#include <string>

namespace korva::platform {

// The UTF-8 form of `path`. Below KORVA_SYSTEM_DIR, a component that does not
// exist as spelt is looked up without regard to ASCII case, as Windows would
// find it on the mounted volume (`CatRoot` there may be `catroot`). Every open,
// attribute query and enumeration of the POSIX host goes through here.
std::string HostPath(const wchar_t* path);

}  // namespace korva::platform
