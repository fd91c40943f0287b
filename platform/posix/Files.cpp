// POSIX file handles with the Win32 dispositions. A handle is a small heap
// record so that delete-on-close can remember its path.
//
// Where POSIX differs:
// - Sharing: Win32 refuses an open whose access or sharing conflicts with a
//   handle already open. Here a handle takes an advisory flock() lock for what
//   its sharing mode denies: shared when it only reads and denies writers,
//   exclusive when it writes and denies writers or when it denies readers, none
//   when it shares writing. flock() locks belong to the open file description,
//   so two handles of one process conflict as two Win32 handles do; a conflict
//   is ERROR_SHARING_VIOLATION. Only processes that lock take part, and a handle
//   that shares writing goes unseen by later handles that deny it. On a file
//   system without advisory locks the open goes ahead without the check.
// - Truncation by CREATE_ALWAYS and TRUNCATE_EXISTING happens after the lock,
//   so a refused open leaves the file as it was, as on Win32; that holds for
//   read-only handles too.
// - Delete-on-close: the name is unlinked when the handle that asked for it
//   closes, provided it still names the same file; other open handles keep the
//   data until they close, but the name goes at once (Win32 keeps it until the
//   last handle closes), and a crashed process leaves the file behind.
// - A read-only file (no owner write bit) is refused to writers and to
//   truncating dispositions whoever asks, root included, as Windows does.
#include "platform/Files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <utility>

#include "platform/IoFaultPoint.h"
#include "platform/TextConversion.h"
#include "platform/posix/HostPath.h"
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
    uint32_t size = 0, moved = 0;
    if (detail::InjectIoFault(detail::IoDirection::Seek, size, moved)) return false;
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

// The flock() operation standing for what `share` denies to other handles.
int SharingLock(uint32_t access, uint32_t share) {
    bool deniesWriters = (share & kFileShareWrite) == 0;
    bool deniesReaders = (share & kFileShareRead) == 0;
    if (deniesReaders || (deniesWriters && (access & kGenericWrite) != 0)) return LOCK_EX;
    return deniesWriters ? LOCK_SH : 0;
}

bool Truncates(uint32_t disposition) { return disposition == kCreateAlways || disposition == kTruncateExisting; }

bool SameFile(int a, int b) {
    struct stat first {};
    struct stat second {};
    return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Empties the file behind `fd`. A read-only descriptor cannot: a second,
// writable one of the same file does it and is closed again, which leaves the
// first one's lock in place (flock locks belong to the open file description).
bool Truncate(int fd, uint32_t access, const std::string& path) {
    if ((access & kGenericWrite) != 0) {
        if (::ftruncate(fd, 0) == 0) return true;
        SetLastErrorFromErrno();
        return false;
    }
    int writable = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (writable < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    bool same = SameFile(fd, writable);
    bool truncated = same && ::ftruncate(writable, 0) == 0;
    if (!truncated) same ? SetLastErrorFromErrno() : SetLastError(kErrorSharingViolation);  // replaced meanwhile
    ::close(writable);
    return truncated;
}

// Applies the sharing lock and then the deferred truncation to a fresh
// descriptor, so that a refused open has changed nothing.
bool PrepareDescriptor(int fd, uint32_t access, uint32_t share, uint32_t disposition, const std::string& path) {
    int lock = SharingLock(access, share);
    if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            SetLastError(kErrorSharingViolation);
            return false;
        }
        // A file system without advisory locks (some network and foreign
        // volumes) still serves the file, only without the sharing check.
        if (errno != ENOLCK && errno != EOPNOTSUPP && errno != EINVAL) {
            SetLastErrorFromErrno();
            return false;
        }
    }
    return !Truncates(disposition) || Truncate(fd, access, path);
}

// Unlinks `path` only while it still names the file behind `fd`.
void UnlinkIfSameFile(int fd, const std::string& path) {
    struct stat open {};
    struct stat named {};
    if (::fstat(fd, &open) != 0 || ::stat(path.c_str(), &named) != 0) return;
    if (open.st_dev == named.st_dev && open.st_ino == named.st_ino) ::unlink(path.c_str());
}

// Locks and wraps a fresh descriptor; closes it when that fails.
FileHandle Adopt(int fd, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags, std::string hostPath,
                 bool existed) {
    if (!PrepareDescriptor(fd, access, share, disposition, hostPath)) {
        ::close(fd);
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
}

// Reading an existing file, what a scan does for every catalog, needs no
// look before the open: the name as given is tried first (the case-folding
// search would keep it when it exists), and the descriptor tells whether it
// is a directory.
FileHandle OpenForReading(const wchar_t* path, uint32_t access, uint32_t share, uint32_t flags) {
    std::string hostPath = WideToUtf8(path);
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        hostPath = HostPath(path);
        fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        SetLastErrorFromErrno();
        return InvalidFileHandle();
    }
    struct stat info {};
    bool known = ::fstat(fd, &info) == 0;
    if (!known || S_ISDIR(info.st_mode)) {
        // CreateFileW refuses directories without backup semantics.
        known ? SetLastError(kErrorAccessDenied) : SetLastErrorFromErrno();
        ::close(fd);
        return InvalidFileHandle();
    }
    return Adopt(fd, access, share, kOpenExisting, flags, std::move(hostPath), true);
}

}  // namespace

FileHandle OpenFile(const wchar_t* path, uint32_t access, uint32_t share, uint32_t disposition, uint32_t flags) {
    try {
        if (disposition == kOpenExisting && (access & kGenericWrite) == 0) {
            return OpenForReading(path, access, share, flags);
        }
        std::string hostPath = HostPath(path);
        int mode = (access & kGenericRead) && (access & kGenericWrite) ? O_RDWR
                   : (access & kGenericWrite)                          ? O_WRONLY
                                                                       : O_RDONLY;
        switch (disposition) {
            case kCreateNew: mode |= O_CREAT | O_EXCL; break;
            case kCreateAlways: mode |= O_CREAT; break;
            case kOpenExisting: break;
            case kOpenAlways: mode |= O_CREAT; break;
            case kTruncateExisting: break;
            default: SetLastError(kErrorInvalidParameter); return InvalidFileHandle();
        }
        struct stat info {};
        bool existed = ::stat(hostPath.c_str(), &info) == 0;
        if (existed && S_ISDIR(info.st_mode)) {
            SetLastError(kErrorAccessDenied);  // CreateFileW refuses directories without backup semantics
            return InvalidFileHandle();
        }
        // A file without its owner's write bit is READONLY (QueryFileAttributes):
        // Windows refuses to write or empty it even for an administrator, while
        // POSIX lets root write anything.
        if (existed && (info.st_mode & S_IWUSR) == 0 && OpenChangesContent(access, disposition)) {
            SetLastError(kErrorAccessDenied);
            return InvalidFileHandle();
        }
        int fd = ::open(hostPath.c_str(), mode | O_CLOEXEC, 0644);
        if (fd < 0) {
            SetLastErrorFromErrno();
            return InvalidFileHandle();
        }
        return Adopt(fd, access, share, disposition, flags, std::move(hostPath), existed);
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
    // A failed close() has still released the descriptor, but the caller keeps
    // a handle it could not close and closes it again later: the record must
    // outlive this call, and the second close has nothing left but the record.
    if (file->fd >= 0) {
        if (file->deleteOnClose) UnlinkIfSameFile(file->fd, file->path);
        int fd = std::exchange(file->fd, -1);
        if (::close(fd) != 0) {
            SetLastErrorFromErrno();
            return false;
        }
    }
    delete file;
    return true;
}

bool ReadFile(FileHandle handle, void* buffer, uint32_t size, uint32_t& transferred) {
    transferred = 0;
    if (detail::InjectIoFault(detail::IoDirection::Read, size, transferred)) return false;
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
    if (detail::InjectIoFault(detail::IoDirection::Write, size, transferred)) return false;
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
    detail::InjectFileSize(size);
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

bool MoveFileReplacing(const wchar_t* from, const wchar_t* to) {
    try {
        if (::rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0) return true;
        SetLastErrorFromErrno();
    } catch (...) {
        SetLastError(kErrorNotEnoughMemory);
    }
    return false;
}

bool RemoveFile(const wchar_t* path) {
    try {
        if (::unlink(HostPath(path).c_str()) == 0) return true;
        SetLastErrorFromErrno();
    } catch (...) {
        SetLastError(kErrorNotEnoughMemory);
    }
    return false;
}

FunctionLookup LookupSetFilePointerEx(SetFilePointerExFn& function) {
    function = &SetFilePointerExPosix;
    return FunctionLookup::Found;
}

}  // namespace korva::platform
