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
    std::string bytes;  // the name as the directory holds it
};

// The names are read and sorted when the search starts; each entry's
// attributes, size and times are read when it is handed out, so that a scan
// can work on the first entries while the later ones are still to be looked
// at (a lookup is most of what a search costs).
struct Search {
    std::unique_ptr<DIR, int (*)(DIR*)> directory{nullptr, &::closedir};
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

// The names of an open directory that match; false with LastError() set.
bool Collect(DIR* directory, std::wstring_view pattern, std::vector<Entry>& entries) {
    errno = 0;
    while (const dirent* item = ::readdir(directory)) {
        std::string_view bytes(item->d_name);
        std::wstring name = Utf8ToWide(bytes);
        // A name that is not UTF-8 could not be opened again by what we return,
        // and one longer than a find data holds cannot be returned at all.
        bool representable = WideToUtf8(name) == bytes && name.size() < kMaxPath;
        if (representable && MatchesPattern(pattern, name)) {
            std::u16string key = SortKey(name);
            entries.push_back(Entry{std::move(name), std::move(key), std::string(bytes)});
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

// Fills `data` from the next entry that still exists; false when none is left.
bool FillNext(Search& search, FindData& data) {
    const int fd = ::dirfd(search.directory.get());
    while (search.next < search.entries.size()) {
        const Entry& entry = search.entries[search.next++];
        struct stat info {};
        if (::fstatat(fd, entry.bytes.c_str(), &info, 0) != 0 &&
            ::fstatat(fd, entry.bytes.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // gone since the search started
        }
        const uint64_t size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;  // only files have one
        const FileTime lastWrite = ToFileTime(info.st_mtim);
        data = FindData{};
        data.fileAttributes = AttributesOf(info);
        data.creationTime = lastWrite;
        data.lastAccessTime = ToFileTime(info.st_atim);
        data.lastWriteTime = lastWrite;
        data.fileSizeHigh = static_cast<uint32_t>(size >> 32);
        data.fileSizeLow = static_cast<uint32_t>(size);
        std::wmemcpy(data.fileName, entry.name.data(), entry.name.size());
        return true;
    }
    return false;
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
        auto search = std::make_unique<Search>();
        search->directory.reset(::opendir(HostPath(directoryPath.c_str()).c_str()));
        if (search->directory == nullptr) {
            SetLastError(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : Win32ErrorFromErrno(errno));
            return InvalidFileHandle();
        }
        if (!Collect(search->directory.get(), namePattern, search->entries)) return InvalidFileHandle();
        if (!FillNext(*search, data)) {
            SetLastError(kErrorFileNotFound);
            return InvalidFileHandle();
        }
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
    if (!FillNext(*search, data)) {
        SetLastError(kErrorNoMoreFiles);
        return false;
    }
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
