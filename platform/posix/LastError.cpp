#include <cerrno>
#include <cstring>

#include "platform/Types.h"
#include "platform/WholeFile.h"
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

std::string ErrorText(uint32_t error) {
    // The errno a POSIX host would give for the condition; the Win32 codes
    // without one keep the name Windows gives them.
    int code = 0;
    switch (error) {
        case kErrorSuccess: return std::strerror(0);
        case kErrorFileNotFound: code = ENOENT; break;
        case kErrorPathNotFound: return "The path is not found: a folder on it is missing or is not a folder";
        case kErrorAccessDenied: code = EACCES; break;
        case kErrorInvalidHandle: code = EBADF; break;
        case kErrorNotEnoughMemory: code = ENOMEM; break;
        case kErrorSharingViolation: return "The file is in use by another process";
        case kErrorFileExists:
        case kErrorAlreadyExists: code = EEXIST; break;
        case kErrorInvalidData:
        case kErrorInvalidParameter: code = EINVAL; break;
        case kErrorInsufficientBuffer: code = ENAMETOOLONG; break;
        case kErrorFileTooLarge: code = EFBIG; break;
        case kErrorIoDevice: code = EIO; break;
        case kErrorHandleEof: return "Reached the end of the file";
        default: return "Unknown error";
    }
    return std::strerror(code);
}

void SetLastErrorFromErrno() { SetLastError(Win32ErrorFromErrno(errno)); }

}  // namespace korva::platform
