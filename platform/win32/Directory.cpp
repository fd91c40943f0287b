#include <windows.h>

#include <cwchar>

#include "platform/Directory.h"

namespace korva::platform {

namespace {

FileTime FromFiletime(const FILETIME& time) { return FileTime{time.dwLowDateTime, time.dwHighDateTime}; }

void CopyFindData(const WIN32_FIND_DATAW& from, FindData& to) {
    to.fileAttributes = from.dwFileAttributes;
    to.creationTime = FromFiletime(from.ftCreationTime);
    to.lastAccessTime = FromFiletime(from.ftLastAccessTime);
    to.lastWriteTime = FromFiletime(from.ftLastWriteTime);
    to.fileSizeHigh = from.nFileSizeHigh;
    to.fileSizeLow = from.nFileSizeLow;
    to.reserved0 = from.dwReserved0;
    to.reserved1 = from.dwReserved1;
    static_assert(sizeof(to.fileName) == sizeof(from.cFileName));
    static_assert(sizeof(to.alternateFileName) == sizeof(from.cAlternateFileName));
    std::wmemcpy(to.fileName, from.cFileName, kMaxPath);
    std::wmemcpy(to.alternateFileName, from.cAlternateFileName, 14);
}

}  // namespace

FindHandle FindFirstEntry(const wchar_t* pattern, FindData& data) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return InvalidFileHandle();
    CopyFindData(found, data);
    return search;
}

bool FindNextEntry(FindHandle search, FindData& data) {
    WIN32_FIND_DATAW found{};
    if (!::FindNextFileW(search, &found)) return false;
    CopyFindData(found, data);
    return true;
}

bool CloseFind(FindHandle search) { return ::FindClose(search) != FALSE; }

}  // namespace korva::platform
