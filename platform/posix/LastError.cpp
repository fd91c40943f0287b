#include <cerrno>

#include "platform/Types.h"
#include "platform/posix/PosixErrors.h"

namespace korva::platform {

namespace {
thread_local uint32_t t_lastError = 0;
}

uint32_t LastError() { return t_lastError; }
void SetLastError(uint32_t error) { t_lastError = error; }

uint32_t Win32ErrorFromErrno(int error) {
    switch (error) {
        case 0: return kErrorSuccess;
        case ENOENT: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return kErrorAccessDenied;
        case EBADF: return kErrorInvalidHandle;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EEXIST: return kErrorFileExists;
        case EINVAL: return kErrorInvalidParameter;
        case ENAMETOOLONG: return kErrorInsufficientBuffer;
        default: return kErrorInvalidFunction;
    }
}

void SetLastErrorFromErrno() { SetLastError(Win32ErrorFromErrno(errno)); }

}  // namespace korva::platform
