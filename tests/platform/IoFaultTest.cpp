// The test-only I/O fault of the file layer: which call it hits and what that
// call then does.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Files.h"
#include "platform/IoFault.h"
#include "platform/Types.h"
#include "tests/common/TempFiles.h"

namespace korva::platform {
namespace {

using Kind = IoFault::Kind;
using test_support::PatternBytes;
using test_support::ReadBytes;
using test_support::TempDirectory;
using test_support::WriteBytes;

class IoFaultTest : public testing::Test {
protected:
    void SetUp() override {
        path_ = directory_.File(L"io.bin");
        WriteBytes(path_, PatternBytes(16));
        handle_ = OpenFile(path_.c_str(), kGenericRead | kGenericWrite, kFileShareRead, kOpenExisting,
                           kFileAttributeNormal);
        ASSERT_NE(handle_, InvalidFileHandle());
    }
    void TearDown() override {
        DisarmIoFault();
        CloseFile(handle_);
    }

    TempDirectory directory_;
    std::wstring path_;
    FileHandle handle_ = InvalidFileHandle();
};

TEST_F(IoFaultTest, FailedReadHitsOnlyTheChosenCallAndConsumesNothing) {
    ArmIoFault({.kind = Kind::FailRead, .ordinal = 2});
    std::vector<uint8_t> got;
    for (int call = 1; call <= 3; ++call) {
        uint8_t byte = 0;
        uint32_t transferred = 99;
        bool ok = ReadFile(handle_, &byte, 1, transferred);
        EXPECT_EQ(ok, call != 2) << call;
        if (!ok) {
            EXPECT_EQ(transferred, 0u);
            EXPECT_EQ(LastError(), kErrorIoDevice);
        } else {
            got.push_back(byte);
        }
    }
    EXPECT_EQ(got, PatternBytes(2));
    EXPECT_EQ(IoFaultCallsSeen(), 3u);
}

TEST_F(IoFaultTest, ShortTransfersSucceedWithFewerBytes) {
    struct Case {
        Kind kind;
        uint32_t shortBy;
        uint32_t transferred;
    };
    for (Case c : {Case{Kind::ShortRead, 4, 6}, Case{Kind::ShortRead, 40, 0}, Case{Kind::ShortWrite, 1, 9},
                   Case{Kind::ShortWrite, 10, 0}}) {
        ArmIoFault({.kind = c.kind, .ordinal = 1, .shortBy = c.shortBy});
        uint8_t bytes[10] = {};
        uint32_t transferred = 99;
        bool ok = c.kind == Kind::ShortRead ? ReadFile(handle_, bytes, 10, transferred)
                                            : WriteFile(handle_, bytes, 10, transferred);
        EXPECT_TRUE(ok);
        EXPECT_EQ(transferred, c.transferred);
    }
}

TEST_F(IoFaultTest, FailedWriteLeavesTheFileAlone) {
    ArmIoFault({.kind = Kind::FailWrite, .ordinal = 1});
    uint32_t transferred = 99;
    EXPECT_FALSE(WriteFile(handle_, "zz", 2, transferred));
    EXPECT_EQ(transferred, 0u);
    EXPECT_EQ(LastError(), kErrorIoDevice);
    EXPECT_EQ(ReadBytes(path_), PatternBytes(16));
}

TEST_F(IoFaultTest, OrdinalZeroOnlyCountsCallsOfItsDirection) {
    ArmIoFault({.kind = Kind::FailWrite, .ordinal = 0});
    uint8_t bytes[4] = {};
    uint32_t transferred = 0;
    EXPECT_TRUE(ReadFile(handle_, bytes, 4, transferred));
    EXPECT_TRUE(WriteFile(handle_, bytes, 4, transferred));
    EXPECT_TRUE(WriteFile(handle_, bytes, 4, transferred));
    EXPECT_EQ(IoFaultCallsSeen(), 2u);

    DisarmIoFault();
    EXPECT_TRUE(WriteFile(handle_, bytes, 4, transferred));
    EXPECT_EQ(IoFaultCallsSeen(), 2u);  // what the armed run saw stays readable
}

}  // namespace
}  // namespace korva::platform
