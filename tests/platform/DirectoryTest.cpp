// Directory enumeration: which names a pattern finds, in which order, and
// with which Win32 meaning, on both hosts.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Directory.h"
#include "platform/Types.h"
#include "tests/common/TempFiles.h"

namespace korva::platform {
namespace {

using test_support::TempDirectory;
using test_support::WriteBytes;

#ifdef _WIN32
constexpr bool kPosixHost = false;  // only NTFS promises the order, and Wine's folders are not NTFS
#else
constexpr bool kPosixHost = true;
#endif

// Every name a pattern finds, in the host's order (sorted where it has none),
// or the search's error.
std::vector<std::wstring> Find(const TempDirectory& directory, const std::wstring& pattern, uint32_t& error) {
    std::vector<std::wstring> names;
    FindData data;
    FindHandle search = FindFirstEntry(directory.File(pattern).c_str(), data);
    error = search == InvalidFileHandle() ? LastError() : kErrorSuccess;  // Windows keeps it on success
    if (search == InvalidFileHandle()) return names;
    do names.push_back(data.fileName);
    while (FindNextEntry(search, data));
    EXPECT_EQ(LastError(), kErrorNoMoreFiles);
    EXPECT_TRUE(CloseFind(search));
    if (!kPosixHost) std::sort(names.begin(), names.end());
    return names;
}

class DirectoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* name : {L"b.CAT", L"A.cat", L"c.cat.bak", L"_x.cat", L"Zeta.Cat", L"notes.txt", L"a.b.cat"})
            WriteBytes(tree_.File(name), {1, 2, 3});
        std::filesystem::create_directory(tree_.path() / L"sub.cat");
    }
    TempDirectory tree_;
};

TEST_F(DirectoryTest, PatternsMatchWithoutRegardToCase) {
    struct Case {
        std::wstring pattern;
        std::vector<std::wstring> names;  // NTFS order
        uint32_t error;
    };
    const Case cases[] = {
        {L"*.cat", {L"a.b.cat", L"A.cat", L"b.CAT", L"sub.cat", L"Zeta.Cat", L"_x.cat"}, kErrorSuccess},
        {L"?.CAT", {L"A.cat", L"b.CAT"}, kErrorSuccess},
        {L"A*", {L"a.b.cat", L"A.cat"}, kErrorSuccess},
        {L"*.cat.*", {L"a.b.cat", L"A.cat", L"b.CAT", L"c.cat.bak", L"sub.cat", L"Zeta.Cat", L"_x.cat"}, kErrorSuccess},
        {L"NOTES.TXT", {L"notes.txt"}, kErrorSuccess},
        {L"*.sys", {}, kErrorFileNotFound},
        {std::wstring(L"gone") + kPathSeparator + L"*.cat", {}, kErrorPathNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.pattern));
        uint32_t error = 0;
        std::vector<std::wstring> found = Find(tree_, c.pattern, error);
        std::vector<std::wstring> expected = c.names;
        if (!kPosixHost) std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
        EXPECT_EQ(error, c.error);
    }
}

TEST_F(DirectoryTest, EntriesCarryWin32Meaning) {
    WriteBytes(tree_.File(L"big.cat"), std::vector<uint8_t>(70000));
    // 2020-01-02 03:04:05.1234567 UTC is this many 100 ns ticks since 1601.
    constexpr uint64_t kTicks = (uint64_t{1577934245} + 11644473600u) * 10000000u + 1234567u;
#ifndef _WIN32
    const timespec times[2] = {{0, 0}, {1577934245, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree_.path() / "A.cat").c_str(), times, 0), 0);
    ASSERT_EQ(::chmod((tree_.path() / "b.CAT").c_str(), 0444), 0);
    ASSERT_EQ(::mkfifo((tree_.path() / "pipe.cat").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("nowhere", (tree_.path() / "dangling.cat").c_str()), 0);
    ::close(::open((tree_.path().native() + "/\xff.cat").c_str(), O_CREAT | O_WRONLY, 0644));  // not UTF-8
    uint32_t error = 0;
    EXPECT_EQ(Find(tree_, L"*.cat", error).size(), 9u);  // seven files and directories, the pipe and the link
#endif
    struct Case {
        const wchar_t* name;
        uint32_t attributes, size;
        uint64_t lastWrite;  // 0: not checked
        bool posixOnly;
    };
    const Case cases[] = {
        {L"big.cat", kFileAttributeArchive, 70000, 0, false},
        {L"SUB.CAT", kFileAttributeDirectory, 0, 0, false},
        {L"A.cat", kFileAttributeArchive, 3, kTicks, true},
        {L"b.CAT", kFileAttributeArchive | kFileAttributeReadOnly, 3, 0, true},
        {L"pipe.cat", kFileAttributeDevice, 0, 0, true},
        {L"dangling.cat", kFileAttributeReparsePoint, 0, 0, true},
    };
    for (const Case& c : cases) {
        if (c.posixOnly && !kPosixHost) continue;
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        FindData data;
        FindHandle search = FindFirstEntry(tree_.File(c.name).c_str(), data);
        ASSERT_NE(search, InvalidFileHandle());
        EXPECT_TRUE(CloseFind(search));
        EXPECT_EQ(data.fileAttributes & ~kFileAttributeNormal, c.attributes);
        EXPECT_EQ((uint64_t{data.fileSizeHigh} << 32) | data.fileSizeLow, c.size);
        if (c.lastWrite != 0) {
            EXPECT_EQ((uint64_t{data.lastWriteTime.highDateTime} << 32) | data.lastWriteTime.lowDateTime, c.lastWrite);
        }
    }
}

#ifndef _WIN32
// An entry is looked at when it is returned: one removed after the search
// started is left out, one changed meanwhile is returned as it is now.
// (Windows may return either from a directory read before.)
TEST_F(DirectoryTest, EntriesAreReadWhenReturned) {
    FindData data;
    FindHandle search = FindFirstEntry(tree_.File(L"*.cat").c_str(), data);
    ASSERT_NE(search, InvalidFileHandle());
    EXPECT_EQ(std::wstring(data.fileName), L"a.b.cat");
    std::filesystem::remove(tree_.path() / L"A.cat");
    WriteBytes(tree_.File(L"b.CAT"), std::vector<uint8_t>(5));
    ASSERT_TRUE(FindNextEntry(search, data));
    EXPECT_EQ(std::wstring(data.fileName), L"b.CAT");
    EXPECT_EQ(data.fileSizeLow, 5u);
    EXPECT_TRUE(CloseFind(search));
}
#endif

}  // namespace
}  // namespace korva::platform
