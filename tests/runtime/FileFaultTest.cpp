// CFile under injected read and write faults of the file layer.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "runtime/File.h"
#include "platform/Files.h"
#include "platform/IoFault.h"
#include "tests/runtime/FileTestSupport.h"
#include "tests/common/TempFiles.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace platform = korva::platform;
using korva::test_support::PatternBytes;
using Kind = platform::IoFault::Kind;

class ArmedFault {
public:
    explicit ArmedFault(const platform::IoFault& fault) { platform::ArmIoFault(fault); }
    ~ArmedFault() { platform::DisarmIoFault(); }
};

class FileFaultTest : public FileTest {};

TEST_F(FileFaultTest, UnbufferedReadFaultsFailWithoutMoving) {
    std::wstring path = MakeFile(PatternBytes(100));
    for (auto [kind, delivered] : {std::pair{Kind::FailRead, 0u}, {Kind::ShortRead, 9u}}) {
        CFile file;
        ASSERT_TRUE(Open(file, path, {}));
        ArmedFault fault({.kind = kind, .ordinal = 1});
        uint8_t bytes[10];
        uint32_t count = 99;
        EXPECT_FALSE(file.Read(bytes, sizeof bytes, &count));
        EXPECT_EQ(count, delivered);
        EXPECT_EQ(file.position(), 0u);
    }
}

// A refill that comes back short still serves its bytes; the next refill
// starts where it ended.
TEST_F(FileFaultTest, ShortRefillIsUsedAndFollowedByAnother) {
    std::wstring path = MakeFile(PatternBytes(70000));
    CFile file;
    ASSERT_TRUE(Open(file, path, {}));
    ASSERT_TRUE(file.AttachReadBuffer());
    ArmedFault fault({.kind = Kind::ShortRead, .ordinal = 1, .shortBy = CFile::kReadBufferSize - 1000});
    std::vector<uint8_t> bytes(2000);
    uint32_t count = 0;
    ASSERT_TRUE(file.Read(bytes.data(), 2000, &count));
    EXPECT_EQ(count, 2000u);
    EXPECT_EQ(bytes, PatternBytes(2000));
    EXPECT_EQ(platform::IoFaultCallsSeen(), 2u);
}

TEST_F(FileFaultTest, FailedRefillReportsWhatWasAlreadyCopied) {
    std::wstring path = MakeFile(PatternBytes(70000));
    struct Case {
        uint32_t failingRefill;
        bool result;
        uint32_t count;
    };
    for (Case c : {Case{1, false, 0}, Case{2, true, CFile::kReadBufferSize}}) {
        SCOPED_TRACE(c.failingRefill);
        CFile file;
        ASSERT_TRUE(Open(file, path, {}));
        ASSERT_TRUE(file.AttachReadBuffer());
        ArmedFault fault({.kind = Kind::FailRead, .ordinal = c.failingRefill});
        std::vector<uint8_t> bytes(70000);
        uint32_t count = 99;
        EXPECT_EQ(file.Read(bytes.data(), 70000, &count), c.result);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(file.position(), c.count);
        // The fault was one call only: reading on picks up where it stopped.
        uint8_t next = 0;
        ASSERT_TRUE(file.Read(&next, 1, nullptr));
        EXPECT_EQ(next, PatternBytes(1, c.count)[0]);
    }
}

// Ordinal 0 only counts the calls of its kind; the chosen call fails once.
TEST_F(FileFaultTest, SeekFaultFailsWithoutMoving) {
    CFile file;
    ASSERT_TRUE(Open(file, MakeFile(PatternBytes(100)), {}));
    uint8_t byte = 0;
    {
        ArmedFault counting({.kind = Kind::FailSeek, .ordinal = 0});
        ASSERT_TRUE(file.Read(&byte, 1, nullptr));
        ASSERT_TRUE(file.Seek(0, CFile::kFromBeginning));
        EXPECT_EQ(platform::IoFaultCallsSeen(), 1u);
    }
    ArmedFault fault({.kind = Kind::FailSeek, .ordinal = 1});
    EXPECT_FALSE(file.Seek(10, CFile::kFromBeginning));
    EXPECT_EQ(platform::LastError(), platform::kErrorIoDevice);
    EXPECT_EQ(file.position(), 0u);
    EXPECT_TRUE(file.Seek(10, CFile::kFromBeginning));
}

TEST_F(FileFaultTest, WriteFaultsFailWithoutMoving) {
    for (Kind kind : {Kind::FailWrite, Kind::ShortWrite}) {
        std::wstring path = Path();
        CFile file;
        ASSERT_TRUE(Open(file, path, {.create = true, .write = true}));
        ASSERT_TRUE(file.Write("head", 4));
        ArmedFault fault({.kind = kind, .ordinal = 1});
        EXPECT_FALSE(file.Write("body", 4));
        EXPECT_EQ(file.position(), 4u);
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
