// Change notifications over inotify; see ChangeNotification.h.
#include "platform/ChangeNotification.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <chrono>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ByteReader.h"
#include "platform/posix/HostPath.h"
#include "platform/posix/PosixErrors.h"

namespace korva::platform {

namespace {

constexpr uint32_t kKnownFilterBits = 0x17F;
constexpr uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr uint32_t kLostEvents = IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

struct Watcher {
    Watcher() = default;
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;
    ~Watcher() {
        if (fd >= 0) ::close(fd);
    }

    int fd = -1;
    bool subtree = false;
    uint32_t filter = 0;
    uint32_t mask = 0;
    std::string rootPath;
    int rootWatch = -1;
    bool signalled = false;
    std::map<int, std::string> directories;  // watch descriptor -> host path
    std::array<uint8_t, 16384> buffer{};
};

Watcher* FromHandle(NotificationHandle handle) {
    if (handle == nullptr || handle == InvalidFileHandle()) return nullptr;
    return static_cast<Watcher*>(handle);
}

// The inotify events that can stand for a change the filter asks for. A
// subtree watch also needs every name event to follow its directories.
uint32_t MaskFor(uint32_t filter, bool subtree) {
    uint32_t mask = IN_DELETE_SELF | IN_MOVE_SELF;
    if (subtree || (filter & (kNotifyChangeFileName | kNotifyChangeDirName)) != 0) mask |= kNameEvents;
    if ((filter & (kNotifyChangeSize | kNotifyChangeLastWrite)) != 0) mask |= IN_MODIFY;
    uint32_t attributeBits = kNotifyChangeAttributes | kNotifyChangeLastWrite | kNotifyChangeCreation | kNotifyChangeSecurity;
    if ((filter & attributeBits) != 0) mask |= IN_ATTRIB;
    if ((filter & kNotifyChangeLastAccess) != 0) mask |= IN_ACCESS;
    return mask;
}

// The filter bits an event on a named entry may stand for.
uint32_t FilterBitsOf(uint32_t events, bool directory) {
    uint32_t bits = 0;
    if ((events & kNameEvents) != 0) bits |= directory ? kNotifyChangeDirName : kNotifyChangeFileName;
    if ((events & IN_MODIFY) != 0) bits |= kNotifyChangeSize | kNotifyChangeLastWrite;
    if ((events & IN_ATTRIB) != 0)
        bits |= kNotifyChangeAttributes | kNotifyChangeLastWrite | kNotifyChangeCreation | kNotifyChangeSecurity;
    if ((events & IN_ACCESS) != 0) bits |= kNotifyChangeLastAccess;
    return bits;
}

bool IsDirectoryEntry(int directoryFd, const dirent& item) {
    if (item.d_type != DT_UNKNOWN) return item.d_type == DT_DIR;
    struct stat info {};
    return ::fstatat(directoryFd, item.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

// Watches `top` and, for a subtree watch, every directory below it (links
// below the watched directory are not followed, as Windows does not follow
// reparse points). A directory that vanishes meanwhile is skipped, not a
// failure. `found`, when given, collects the name bits of the entries already
// there: a directory created after its parent's event was queued may hold
// entries whose own events came before its watch.
bool WatchTree(Watcher& watcher, const std::string& top, uint32_t* found) {
    std::vector<std::string> pending{top};
    while (!pending.empty()) {
        std::string path = std::move(pending.back());
        pending.pop_back();
        uint32_t follow = path == watcher.rootPath ? 0 : IN_DONT_FOLLOW;
        int watch = ::inotify_add_watch(watcher.fd, path.c_str(), watcher.mask | IN_ONLYDIR | follow);
        if (watch < 0) {
            if (errno == ENOENT || errno == ENOTDIR) continue;
            return false;
        }
        watcher.directories[watch] = path;
        if (path == watcher.rootPath) watcher.rootWatch = watch;
        if (!watcher.subtree) continue;
        std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(path.c_str()), &::closedir);
        if (directory == nullptr) continue;
        while (const dirent* item = ::readdir(directory.get())) {
            std::string_view name(item->d_name);
            if (name == "." || name == "..") continue;
            bool isDirectory = IsDirectoryEntry(::dirfd(directory.get()), *item);
            if (found != nullptr) *found |= isDirectory ? kNotifyChangeDirName : kNotifyChangeFileName;
            if (isDirectory) pending.push_back(path + "/" + std::string(name));
        }
    }
    return true;
}

// Stops watching `top` and everything below it: it has left the tree.
void ForgetTree(Watcher& watcher, const std::string& top) {
    for (auto it = watcher.directories.begin(); it != watcher.directories.end();) {
        const std::string& path = it->second;
        bool inside = path == top || (path.size() > top.size() && path.compare(0, top.size(), top) == 0 &&
                                      path[top.size()] == '/');
        if (inside && it->first != watcher.rootWatch) {
            ::inotify_rm_watch(watcher.fd, it->first);
            it = watcher.directories.erase(it);
        } else {
            ++it;
        }
    }
}

bool ReadHostU32(ByteReader& reader, uint32_t& value) {
    return std::endian::native == std::endian::little ? reader.ReadU32Le(value) : reader.ReadU32Be(value);
}

// Whether one event counts as a change the filter asks for; follows
// directories into and out of a subtree watch on the way.
bool Consider(Watcher& watcher, int watch, uint32_t events, std::string_view name) {
    if ((events & IN_Q_OVERFLOW) != 0) {
        WatchTree(watcher, watcher.rootPath, nullptr);  // directories created meanwhile went unseen
        return true;
    }
    auto it = watcher.directories.find(watch);
    if (it == watcher.directories.end()) return false;
    if ((events & (kLostEvents | IN_IGNORED)) != 0) {
        bool root = watch == watcher.rootWatch;
        if ((events & IN_IGNORED) != 0) watcher.directories.erase(it);
        return root;
    }
    // Changes to a watched directory itself belong to its parent's watch.
    if (name.empty()) return false;
    bool directory = (events & IN_ISDIR) != 0;
    uint32_t bits = FilterBitsOf(events, directory);
    if (watcher.subtree && directory) {
        std::string path = it->second + "/" + std::string(name);
        if ((events & (IN_MOVED_FROM | IN_DELETE)) != 0) ForgetTree(watcher, path);
        uint32_t found = 0;
        if ((events & (IN_CREATE | IN_MOVED_TO)) != 0 && !WatchTree(watcher, path, (events & IN_CREATE) ? &found : nullptr))
            return true;
        bits |= found;
    }
    return (bits & watcher.filter) != 0;
}

// Reads every pending event; sets `signalled` when one counts. False with
// LastError() set when the queue cannot be read.
bool Drain(Watcher& watcher) {
    for (;;) {
        ssize_t size = ::read(watcher.fd, watcher.buffer.data(), watcher.buffer.size());
        if (size < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            SetLastErrorFromErrno();
            return false;
        }
        if (size == 0) return true;
        ByteReader reader(watcher.buffer.data(), static_cast<size_t>(size));
        uint32_t watch = 0, events = 0, cookie = 0, length = 0;
        ByteSpan name;
        while (ReadHostU32(reader, watch) && ReadHostU32(reader, events) && ReadHostU32(reader, cookie) &&
               ReadHostU32(reader, length) && reader.ReadBytes(length, name)) {
            std::string text(name.begin(), name.end());
            text.erase(std::find(text.begin(), text.end(), '\0'), text.end());  // the kernel pads with NULs
            if (Consider(watcher, static_cast<int>(watch), events, text)) watcher.signalled = true;
        }
    }
}

}  // namespace

NotificationHandle OpenChangeNotification(const wchar_t* directory, bool watchSubtree, uint32_t filter) {
    if (filter == 0 || (filter & ~kKnownFilterBits) != 0) {
        SetLastError(kErrorInvalidParameter);
        return InvalidFileHandle();
    }
    try {
        auto watcher = std::make_unique<Watcher>();
        watcher->subtree = watchSubtree;
        watcher->filter = filter;
        watcher->mask = MaskFor(filter, watchSubtree);
        watcher->fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        // The first failing call left errno: the queue, or the directory itself.
        watcher->rootPath = HostPath(directory);
        if (watcher->fd < 0 || !WatchTree(*watcher, watcher->rootPath, nullptr) || watcher->rootWatch < 0) {
            SetLastErrorFromErrno();
            return InvalidFileHandle();
        }
        SetLastError(kErrorSuccess);
        return watcher.release();
    } catch (...) {
        SetLastError(kErrorNotEnoughMemory);
        return InvalidFileHandle();
    }
}

bool RearmChangeNotification(NotificationHandle handle) {
    Watcher* watcher = FromHandle(handle);
    if (watcher == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    // Events still queued came after the wait that reported the signal:
    // they are left for the next wait.
    watcher->signalled = false;
    return true;
}

bool CloseChangeNotification(NotificationHandle handle) {
    Watcher* watcher = FromHandle(handle);
    if (watcher == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    delete watcher;
    return true;
}

uint32_t WaitForChangeNotification(NotificationHandle handle, uint32_t milliseconds) {
    return WaitForAnyChangeNotification({&handle, 1}, milliseconds);
}

uint32_t WaitForAnyChangeNotification(std::span<const NotificationHandle> handles, uint32_t milliseconds) {
    std::vector<Watcher*> watchers;
    std::vector<pollfd> ready;
    try {
        for (NotificationHandle handle : handles) {
            Watcher* watcher = FromHandle(handle);
            if (watcher == nullptr) {
                SetLastError(kErrorInvalidHandle);
                return kWaitFailed;
            }
            watchers.push_back(watcher);
            ready.push_back({watcher->fd, POLLIN, 0});
        }
    } catch (...) {
        SetLastError(kErrorNotEnoughMemory);
        return kWaitFailed;
    }
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    try {
        for (;;) {
            for (size_t i = 0; i < watchers.size(); ++i) {
                if (!Drain(*watchers[i])) return kWaitFailed;
                if (watchers[i]->signalled) return kWaitObject0 + static_cast<uint32_t>(i);
            }
            int timeout = -1;
            if (milliseconds != kInfinite) {
                auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0) return kWaitTimeout;
                timeout = static_cast<int>(std::min<int64_t>(left, std::numeric_limits<int>::max()));
            }
            if (::poll(ready.data(), ready.size(), timeout) < 0) {
                if (errno == EINTR) return kWaitTimeout;
                SetLastErrorFromErrno();
                return kWaitFailed;
            }
        }
    } catch (...) {
        SetLastError(kErrorNotEnoughMemory);
        return kWaitFailed;
    }
}

}  // namespace korva::platform
