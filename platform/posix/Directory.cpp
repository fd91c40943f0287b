// Snapshot searches over opendir/readdir with Win32 meaning; see Directory.h.
#include "platform/Directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cwchar>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextConversion.h"
#include "platform/posix/HostPath.h"
#include "platform/posix/PosixErrors.h"

namespace korva::platform {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

struct Entry {
    std::wstring name;
    std::u16string sortKey;
    uint32_t attributes;
    uint64_t size;
    FileTime lastAccess;
    FileTime lastWrite;
};

struct Search {
    std::vector<Entry> entries;
    size_t next = 0;
};

Search* FromHandle(FindHandle handle) {
    if (handle == nullptr || handle == InvalidFileHandle()) return nullptr;
    return static_cast<Search*>(handle);
}

// `*` any run of characters, `?` exactly one, everything else itself without
// regard to ASCII case.
bool MatchesWildcards(std::wstring_view pattern, std::wstring_view name) {
    size_t p = 0, n = 0;
    size_t starP = std::wstring_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == L'?' || AsciiUpper(pattern[p]) == AsciiUpper(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::wstring_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

// As on Windows, a trailing ".*" may also match nothing, so that "*.*"
// finds names without a dot.
bool MatchesPattern(std::wstring_view pattern, std::wstring_view name) {
    if (MatchesWildcards(pattern, name)) return true;
    return pattern.ends_with(L".*") && MatchesWildcards(pattern.substr(0, pattern.size() - 2), name);
}

// NTFS orders names by their upper-cased UTF-16 code units.
std::u16string SortKey(std::wstring_view name) {
    std::u16string key;
    for (wchar_t c : name) {
        auto point = static_cast<char32_t>(AsciiUpper(c));
        if (point >= 0x10000) {
            key.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
            key.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
        } else {
            key.push_back(static_cast<char16_t>(point));
        }
    }
    return key;
}

FileTime ToFileTime(const struct timespec& time) {
    if (time.tv_sec < -kSecondsFrom1601To1970) return FileTime{};
    uint64_t ticks = static_cast<uint64_t>(time.tv_sec + kSecondsFrom1601To1970) * kTicksPerSecond +
                     static_cast<uint64_t>(time.tv_nsec) / 100;
    return FileTime{static_cast<uint32_t>(ticks), static_cast<uint32_t>(ticks >> 32)};
}

uint32_t AttributesOf(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) return kFileAttributeDirectory;
    if (S_ISLNK(info.st_mode)) return kFileAttributeReparsePoint;  // a link whose target is gone
    if (!S_ISREG(info.st_mode)) return kFileAttributeDevice;        // never read like a file
    return (info.st_mode & S_IWUSR) ? kFileAttributeArchive : (kFileAttributeArchive | kFileAttributeReadOnly);
}

// The matching entries of an open directory; false with LastError() set.
bool Collect(DIR* directory, std::wstring_view pattern, std::vector<Entry>& entries) {
    int fd = ::dirfd(directory);
    errno = 0;
    while (const dirent* item = ::readdir(directory)) {
        std::string_view bytes(item->d_name);
        std::wstring name = Utf8ToWide(bytes);
        // A name that is not UTF-8 could not be opened again by what we return,
        // and one longer than a find data holds cannot be returned at all.
        bool representable = WideToUtf8(name) == bytes && name.size() < kMaxPath;
        struct stat info {};
        if (representable && MatchesPattern(pattern, name) &&
            (::fstatat(fd, item->d_name, &info, 0) == 0 ||
             ::fstatat(fd, item->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)) {
            std::u16string key = SortKey(name);
            uint64_t size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;  // only files have one
            entries.push_back(Entry{std::move(name), std::move(key), AttributesOf(info), size,
                                    ToFileTime(info.st_atim), ToFileTime(info.st_mtim)});
        }
        errno = 0;
    }
    if (errno != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.sortKey != b.sortKey ? a.sortKey < b.sortKey : a.name < b.name;
    });
    return true;
}

void Fill(const Entry& entry, FindData& data) {
    data = FindData{};
    data.fileAttributes = entry.attributes;
    data.creationTime = entry.lastWrite;
    data.lastAccessTime = entry.lastAccess;
    data.lastWriteTime = entry.lastWrite;
    data.fileSizeHigh = static_cast<uint32_t>(entry.size >> 32);
    data.fileSizeLow = static_cast<uint32_t>(entry.size);
    std::wmemcpy(data.fileName, entry.name.data(), entry.name.size());
}

}  // namespace

FindHandle FindFirstEntry(const wchar_t* pattern, FindData& data) {
    try {
        std::wstring_view whole(pattern);
        if (whole.empty()) {
            SetLastError(kErrorPathNotFound);
            return InvalidFileHandle();
        }
        size_t separator = whole.rfind(kPathSeparator);
        bool bare = separator == std::wstring_view::npos;
        std::wstring directoryPath(bare ? L"." : separator == 0 ? whole.substr(0, 1) : whole.substr(0, separator));
        std::wstring_view namePattern = bare ? whole : whole.substr(separator + 1);
        std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(HostPath(directoryPath.c_str()).c_str()), &::closedir);
        if (directory == nullptr) {
            SetLastError(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : Win32ErrorFromErrno(errno));
            return InvalidFileHandle();
        }
        auto search = std::make_unique<Search>();
        if (!Collect(directory.get(), namePattern, search->entries)) return InvalidFileHandle();
        if (search->entries.empty()) {
            SetLastError(kErrorFileNotFound);
            return InvalidFileHandle();
        }
        Fill(search->entries[search->next++], data);
        SetLastError(kErrorSuccess);
        return search.release();
    } catch (...) {
        SetLastError(kErrorNotEnoughMemory);
        return InvalidFileHandle();
    }
}

bool FindNextEntry(FindHandle handle, FindData& data) {
    Search* search = FromHandle(handle);
    if (search == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    if (search->next == search->entries.size()) {
        SetLastError(kErrorNoMoreFiles);
        return false;
    }
    Fill(search->entries[search->next++], data);
    return true;
}

bool CloseFind(FindHandle handle) {
    Search* search = FromHandle(handle);
    if (search == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    delete search;
    return true;
}

}  // namespace korva::platform
