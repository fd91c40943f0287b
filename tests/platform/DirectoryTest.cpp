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
#include "tests/common/TempFiles.h"

namespace korva::platform {
namespace {

using test_support::TempDirectory;
using test_support::WriteBytes;

// Every name a pattern finds, in the order the host returns them.
std::vector<std::wstring> Find(const TempDirectory& directory, const std::wstring& pattern, uint32_t* error = nullptr) {
    std::vector<std::wstring> names;
    FindData data;
    FindHandle search = FindFirstEntry(directory.File(pattern).c_str(), data);
    if (search == InvalidFileHandle()) {
        if (error != nullptr) *error = LastError();
        return names;
    }
    do names.push_back(data.fileName);
    while (FindNextEntry(search, data));
    EXPECT_EQ(LastError(), kErrorNoMoreFiles);
    EXPECT_TRUE(CloseFind(search));
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
        const wchar_t* pattern;
        std::vector<std::wstring> names;  // NTFS order
    };
    const Case cases[] = {
        {L"*.cat", {L"a.b.cat", L"A.cat", L"b.CAT", L"sub.cat", L"Zeta.Cat", L"_x.cat"}},
        {L"?.CAT", {L"A.cat", L"b.CAT"}},
        {L"A*", {L"a.b.cat", L"A.cat"}},
        {L"*.cat.*", {L"a.b.cat", L"A.cat", L"b.CAT", L"c.cat.bak", L"sub.cat", L"Zeta.Cat", L"_x.cat"}},
        {L"NOTES.TXT", {L"notes.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.pattern)));
        std::vector<std::wstring> found = Find(tree_, c.pattern);
#ifdef _WIN32
        // Only NTFS promises this order; compare what was found.
        std::sort(found.begin(), found.end());
        std::vector<std::wstring> expected = c.names;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
#else
        EXPECT_EQ(found, c.names);
#endif
    }
}

TEST_F(DirectoryTest, FailuresSayWhatIsMissing) {
    uint32_t error = 0;
    EXPECT_TRUE(Find(tree_, L"*.sys", &error).empty());
    EXPECT_EQ(error, kErrorFileNotFound);
    EXPECT_TRUE(Find(tree_, std::wstring(L"gone") + kPathSeparator + L"*.cat", &error).empty());
    EXPECT_EQ(error, kErrorPathNotFound);
}

TEST_F(DirectoryTest, EntriesCarryWin32Meaning) {
    WriteBytes(tree_.File(L"big.cat"), std::vector<uint8_t>(70000));
    FindData data;
    FindHandle search = FindFirstEntry(tree_.File(L"big.cat").c_str(), data);
    ASSERT_NE(search, InvalidFileHandle());
    EXPECT_EQ(data.fileAttributes & (kFileAttributeArchive | kFileAttributeDirectory), kFileAttributeArchive);
    EXPECT_EQ(data.fileSizeLow, 70000u);
    EXPECT_EQ(data.fileSizeHigh, 0u);
    EXPECT_TRUE(CloseFind(search));
    search = FindFirstEntry(tree_.File(L"SUB.CAT").c_str(), data);
    ASSERT_NE(search, InvalidFileHandle());
    EXPECT_NE(data.fileAttributes & kFileAttributeDirectory, 0u);
    EXPECT_TRUE(CloseFind(search));
}

#ifndef _WIN32
TEST_F(DirectoryTest, PosixEntriesMapOntoWin32Attributes) {
    // 2020-01-02 03:04:05.1234567 UTC, in 100 ns ticks since 1601.
    const timespec times[2] = {{0, 0}, {1577934245, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree_.path() / "A.cat").c_str(), times, 0), 0);
    ASSERT_EQ(::chmod((tree_.path() / "b.CAT").c_str(), 0444), 0);
    ASSERT_EQ(::mkfifo((tree_.path() / "pipe.cat").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("nowhere", (tree_.path() / "dangling.cat").c_str()), 0);
    ::close(::open((tree_.path().native() + "/\xff.cat").c_str(), O_CREAT | O_WRONLY, 0644));  // not UTF-8: never returned
    struct Case {
        const wchar_t* name;
        uint32_t attributes;
    };
    const Case cases[] = {
        {L"A.cat", kFileAttributeArchive},
        {L"b.CAT", kFileAttributeArchive | kFileAttributeReadOnly},
        {L"pipe.cat", kFileAttributeDevice},
        {L"dangling.cat", kFileAttributeReparsePoint},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        FindData data;
        FindHandle search = FindFirstEntry(tree_.File(c.name).c_str(), data);
        ASSERT_NE(search, InvalidFileHandle());
        EXPECT_EQ(data.fileAttributes, c.attributes);
        CloseFind(search);
        if (c.name == std::wstring(L"A.cat")) {
            uint64_t ticks = (uint64_t{1577934245} + 11644473600u) * 10000000u + 1234567u;
            EXPECT_EQ(data.lastWriteTime.lowDateTime, static_cast<uint32_t>(ticks));
            EXPECT_EQ(data.lastWriteTime.highDateTime, static_cast<uint32_t>(ticks >> 32));
        }
    }
    EXPECT_EQ(Find(tree_, L"*.cat").size(), 8u);  // six from SetUp, the pipe and the link
}
#endif

}  // namespace
}  // namespace korva::platform
