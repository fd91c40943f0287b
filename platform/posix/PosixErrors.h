// errno to Win32 error mapping shared by the POSIX host files.
#pragma once

#include <cstdint>

namespace korva::platform {

uint32_t Win32ErrorFromErrno(int error);
void SetLastErrorFromErrno();

}  // namespace korva::platform
