// Sharing and dispositions of the file layer: the same facts on both hosts
// (POSIX approximates Win32 sharing with advisory locks).
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <vector>

#include "platform/Files.h"
#include "platform/Types.h"
#include "tests/common/TempFiles.h"

namespace korva::platform {
namespace {

using test_support::ReadFile;
using test_support::TempDirectory;
using test_support::WriteBytes;

constexpr uint32_t kRead = kGenericRead;
constexpr uint32_t kReadWrite = kGenericRead | kGenericWrite;
constexpr uint32_t kShareReadWrite = kFileShareRead | kFileShareWrite;

class OpenHandle {
public:
    OpenHandle(const std::wstring& path, uint32_t access, uint32_t share, uint32_t disposition = kOpenExisting,
               uint32_t flags = kFileAttributeNormal)
        : handle_(OpenFile(path.c_str(), access, share, disposition, flags)), error_(LastError()) {}
    ~OpenHandle() {
        if (ok()) CloseFile(handle_);
    }
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;

    bool ok() const { return handle_ != InvalidFileHandle(); }
    uint32_t error() const { return error_; }
    bool Close() {
        bool closed = CloseFile(handle_);
        handle_ = InvalidFileHandle();
        return closed;
    }

private:
    FileHandle handle_;
    uint32_t error_;
};

// A refused second handle, one that would empty the file included, leaves the
// content as it was. TRUNCATE_EXISTING wants write access on Win32,
// CREATE_ALWAYS does not.
TEST(FileSharing, SecondHandleIsRefusedWhenEitherDeniesTheOther) {
    struct Case {
        const char* name;
        uint32_t firstAccess, firstShare, secondAccess, secondShare;
        bool allowed;
        uint32_t disposition = kOpenExisting;
    };
    const Case cases[] = {
        {"reader after writer that denies writers", kReadWrite, kFileShareRead, kRead, kFileShareRead, false},
        {"writer after writer, both deny writers", kReadWrite, kFileShareRead, kReadWrite, kFileShareRead, false},
        {"writer after reader that denies writers", kRead, kFileShareRead, kReadWrite, kFileShareRead, false},
        {"readers that deny writers", kRead, kFileShareRead, kRead, kFileShareRead, true},
        {"reader that shares writing, then writer", kRead, kShareReadWrite, kReadWrite, kFileShareRead, true},
        {"reader after reader that shares writing", kRead, kFileShareRead, kRead, kShareReadWrite, true},
        {"writers that share writing", kReadWrite, kShareReadWrite, kReadWrite, kShareReadWrite, true},
        {"creating writer after writer", kReadWrite, kFileShareRead, kReadWrite, kFileShareRead, false, kCreateAlways},
        {"truncating writer after writer", kReadWrite, kFileShareRead, kReadWrite, kFileShareRead, false,
         kTruncateExisting},
        {"creating reader after writer", kReadWrite, kFileShareRead, kRead, kFileShareRead, false, kCreateAlways},
    };
    TempDirectory directory;
    std::wstring path = directory.File(L"shared.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(path, {1, 2, 3});
        OpenHandle first(path, c.firstAccess, c.firstShare);
        ASSERT_TRUE(first.ok());
        {
            OpenHandle second(path, c.secondAccess, c.secondShare, c.disposition);
            EXPECT_EQ(second.ok(), c.allowed);
            if (!c.allowed) {
                EXPECT_EQ(second.error(), kErrorSharingViolation);
            }
        }
        ASSERT_TRUE(first.Close());
        EXPECT_EQ(ReadFile(path), (std::vector<uint8_t>{1, 2, 3}));
    }
}

TEST(FileDispositions, ExistingFilesAreReportedAndKeptOrEmptied) {
    struct Case {
        uint32_t disposition;
        uint32_t access;
        bool exists;
        uint32_t error;
        size_t sizeAfter;
        bool readOnly = false;  // refused to writers and emptiers, also when run as root
    };
    const Case cases[] = {
        {kOpenAlways, kReadWrite, true, kErrorAlreadyExists, 3}, {kOpenAlways, kReadWrite, false, kErrorSuccess, 0},
        {kCreateAlways, kReadWrite, true, kErrorAlreadyExists, 0}, {kCreateAlways, kReadWrite, false, kErrorSuccess, 0},
        {kCreateAlways, kRead, true, kErrorAlreadyExists, 0},
        {kOpenAlways, kReadWrite, true, kErrorAccessDenied, 3, true}, {kCreateAlways, kRead, true, kErrorAccessDenied, 3, true},
        {kOpenExisting, kRead, true, kErrorSuccess, 3, true},
    };
    TempDirectory directory;
    namespace fs = std::filesystem;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "disposition " << c.disposition << " exists " << c.exists << " read-only " << c.readOnly);
        std::wstring path = directory.File(L"file.bin");
        if (fs::exists(path)) fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
        fs::remove(path);
        if (c.exists) WriteBytes(path, {1, 2, 3});
        if (c.readOnly) fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, fs::perm_options::remove);
        OpenHandle handle(path, c.access, kFileShareRead, c.disposition);
        EXPECT_EQ(handle.error(), c.error);
        if (c.error != kErrorAccessDenied) {
            ASSERT_TRUE(handle.ok());
            ASSERT_TRUE(handle.Close());
        }
        EXPECT_EQ(fs::file_size(path), c.sizeAfter);
    }
    fs::permissions(directory.File(L"file.bin"), fs::perms::owner_write, fs::perm_options::add);
#ifndef _WIN32
    // A directory opens for nothing, reading included, as CreateFileW
    // without backup semantics.
    for (uint32_t access : {kRead, kReadWrite}) {
        OpenHandle folder(directory.path().wstring(), access, kFileShareRead);
        EXPECT_FALSE(folder.ok());
        EXPECT_EQ(folder.error(), kErrorAccessDenied);
    }
#endif
}

#ifndef _WIN32
// A handle whose close failed is still the caller's, and closing it again must
// be safe: the stream keeps such a handle and its destructor closes it later.
TEST(FileClose, HandleSurvivesAFailedClose) {
    TempDirectory directory;
    std::wstring path = directory.File(L"closed.bin");
    WriteBytes(path, {1});
    // The handle's descriptor is the lowest free one: find it and close it
    // behind the handle's back, so that the handle's own close fails.
    int descriptor = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(descriptor, 0);
    ::close(descriptor);
    FileHandle handle = OpenFile(path.c_str(), kGenericRead, kFileShareRead, kOpenExisting, kFileAttributeNormal);
    ASSERT_NE(handle, InvalidFileHandle());
    struct stat opened {};
    struct stat named {};
    ASSERT_EQ(::fstat(descriptor, &opened), 0);
    ASSERT_EQ(::stat((directory.path() / "closed.bin").c_str(), &named), 0);
    ASSERT_EQ(opened.st_ino, named.st_ino);
    ASSERT_EQ(::close(descriptor), 0);

    EXPECT_FALSE(CloseFile(handle));
    EXPECT_EQ(LastError(), kErrorInvalidHandle);
    EXPECT_TRUE(CloseFile(handle));
}
#endif

}  // namespace
}  // namespace korva::platform
