// POSIX file handles with the Win32 dispositions. A handle is a small heap
// record so that delete-on-close can remember its path.
#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

#include "platform/TextConversion.h"
#include "platform/posix/PosixErrors.h"

namespace korva::platform {

namespace {

struct PosixFile {
    int fd;
    bool deleteOnClose;
    std::string path;
};

PosixFile* FromHandle(FileHandle handle) {
    if (handle == nullptr || handle == InvalidFileHandle()) return nullptr;
    return static_cast<PosixFile*>(handle);
}

bool SetFilePointerExPosix(FileHandle handle, int64_t distance, uint64_t* newPosition, uint32_t method) {
    PosixFile* file = FromHandle(handle);
    if (file == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    int whence = method == kFileBegin ? SEEK_SET : method == kFileCurrent ? SEEK_CUR : method == kFileEnd ? SEEK_END : -1;
    if (whence < 0) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    off_t result = ::lseek(file->fd, static_cast<off_t>(distance), whence);
    if (result < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    if (newPosition != nullptr) *newPosition = static_cast<uint64_t>(result);
    return true;
}

}  // namespace

std::string HostPath(const wchar_t* path) { return WideToUtf8(path); }

FileHandle OpenFile(const wchar_t* path, uint32_t access, uint32_t /*share*/, uint32_t disposition, uint32_t flags) {
    try {
        std::string hostPath = HostPath(path);
        int mode = (access & kGenericRead) && (access & kGenericWrite) ? O_RDWR
                   : (access & kGenericWrite)                          ? O_WRONLY
                                                                       : O_RDONLY;
        switch (disposition) {
            case kCreateNew: mode |= O_CREAT | O_EXCL; break;
            case kCreateAlways: mode |= O_CREAT | O_TRUNC; break;
            case kOpenExisting: break;
            case kOpenAlways: mode |= O_CREAT; break;
            case kTruncateExisting: mode |= O_TRUNC; break;
            default: SetLastError(kErrorInvalidParameter); return InvalidFileHandle();
        }
        struct stat info {};
        bool existed = ::stat(hostPath.c_str(), &info) == 0;
        if (existed && S_ISDIR(info.st_mode)) {
            SetLastError(kErrorAccessDenied);  // CreateFileW refuses directories without backup semantics
            return InvalidFileHandle();
        }
        int fd = ::open(hostPath.c_str(), mode | O_CLOEXEC, 0644);
        if (fd < 0) {
            SetLastErrorFromErrno();
            return InvalidFileHandle();
        }
        auto* file = new (std::nothrow) PosixFile{fd, (flags & kFileFlagDeleteOnClose) != 0, {}};
        if (file == nullptr) {
            ::close(fd);
            SetLastError(kErrorNotEnoughMemory);
            return InvalidFileHandle();
        }
        if (file->deleteOnClose) file->path = std::move(hostPath);
        bool reportExisting = existed && (disposition == kOpenAlways || disposition == kCreateAlways);
        SetLastError(reportExisting ? kErrorAlreadyExists : kErrorSuccess);
        return file;
    } catch (...) {
        SetLastError(kErrorNotEnoughMemory);
        return InvalidFileHandle();
    }
}

bool CloseFile(FileHandle handle) {
    PosixFile* file = FromHandle(handle);
    if (file == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (file->deleteOnClose) ::unlink(file->path.c_str());
    int result = ::close(file->fd);
    delete file;
    if (result != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    return true;
}

bool ReadFile(FileHandle handle, void* buffer, uint32_t size, uint32_t& transferred) {
    transferred = 0;
    PosixFile* file = FromHandle(handle);
    if (file == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    while (transferred < size) {
        ssize_t n = ::read(file->fd, out + transferred, size - transferred);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno();
            return false;
        }
        if (n == 0) break;  // end of file: success with a short count, as ReadFile
        transferred += static_cast<uint32_t>(n);
    }
    return true;
}

bool WriteFile(FileHandle handle, const void* buffer, uint32_t size, uint32_t& transferred) {
    transferred = 0;
    PosixFile* file = FromHandle(handle);
    if (file == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (transferred < size) {
        ssize_t n = ::write(file->fd, in + transferred, size - transferred);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetLastErrorFromErrno();
            return false;
        }
        transferred += static_cast<uint32_t>(n);
    }
    return true;
}

uint32_t GetFileSize(FileHandle handle, uint32_t* high) {
    PosixFile* file = FromHandle(handle);
    struct stat info {};
    if (file == nullptr || ::fstat(file->fd, &info) != 0) {
        SetLastError(file == nullptr ? kErrorInvalidHandle : Win32ErrorFromErrno(errno));
        return kInvalidFileSize;
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    if (high != nullptr) *high = static_cast<uint32_t>(size >> 32);
    SetLastError(kErrorSuccess);
    return static_cast<uint32_t>(size);
}

uint32_t QueryFileAttributes(const wchar_t* path) {
    try {
        struct stat info {};
        if (::stat(HostPath(path).c_str(), &info) != 0) {
            SetLastErrorFromErrno();
            return kInvalidFileAttributes;
        }
        if (S_ISDIR(info.st_mode)) return kFileAttributeDirectory;
        return (info.st_mode & S_IWUSR) ? kFileAttributeArchive : (kFileAttributeArchive | kFileAttributeReadOnly);
    } catch (...) {
        SetLastError(kErrorNotEnoughMemory);
        return kInvalidFileAttributes;
    }
}

FunctionLookup LookupSetFilePointerEx(SetFilePointerExFn& function) {
    function = &SetFilePointerExPosix;
    return FunctionLookup::Found;
}

}  // namespace korva::platform
