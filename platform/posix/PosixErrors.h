// errno to Win32 error mapping shared by the POSIX host files.
#pragma once

#include <cstdint>
#include <string>

namespace korva::platform {

uint32_t Win32ErrorFromErrno(int error);
void SetLastErrorFromErrno();
// Wide path to the UTF-8 bytes the system calls take.
std::string HostPath(const wchar_t* path);

}  // namespace korva::platform
