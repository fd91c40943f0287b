#include "runtime/File.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/IoFault.h"
#include "platform/Types.h"
#include "tests/runtime/FileTestSupport.h"
#include "tests/common/AllocationFaults.h"
#include "tests/common/TempFiles.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace platform = korva::platform;
using korva::test_support::AllocationFaults;
using korva::test_support::PatternBytes;

const std::vector<uint8_t> kOld = {'o', 'l', 'd'};

TEST_F(FileTest, OpenMapsDispositionsOntoExistingAndMissingFiles) {
    struct Case {
        const char* name;
        OpenFlags flags;
        bool exists;
        bool opens;
        std::vector<uint8_t> after;  // content once closed, when the file is there
        uint32_t error = platform::kErrorSuccess;
        bool emptyPath = false;
    };
    const Case cases[] = {
        {"read existing", {}, true, true, kOld},
        {"read missing", {}, false, false, {}, platform::kErrorFileNotFound},
        {"create replaces", {.create = true, .write = true}, true, true, {}},
        {"open-always keeps", {.openAlways = true, .write = true}, true, true, kOld},
        {"open-always makes", {.openAlways = true, .write = true}, false, true, {}},
        {"open-always wins over create", {.create = true, .openAlways = true, .write = true}, true, true, kOld},
        {"empty path, no system call", {.openAlways = true, .write = true}, false, false, {},
         platform::kErrorInvalidParameter, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring path = c.emptyPath ? L"" : Path();
        std::filesystem::remove(Path());
        if (c.exists) MakeFile(kOld);
        CFile file;
        uint32_t error = 12345;
        EXPECT_EQ(Open(file, path, c.flags, &error), c.opens);
        EXPECT_EQ(error, c.error);
        if (c.opens) {
            EXPECT_TRUE(file.Close());
            EXPECT_EQ(ReadBack(path), c.after);
        } else {
            EXPECT_FALSE(std::filesystem::exists(Path()));
        }
    }
}

TEST_F(FileTest, ReopenCloseAndDeleteOnClose) {
    std::wstring first = MakeFile(PatternBytes(10), L"first.bin");
    CFile file;
    uint64_t size = 7;
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.GetSize(size));
    ASSERT_TRUE(Open(file, first, {.write = true}));
    ASSERT_TRUE(file.Seek(4, CFile::kFromBeginning));
    ASSERT_TRUE(Open(file, Path(), {.create = true, .write = true, .deleteOnClose = true}));
    EXPECT_EQ(file.position(), 0u);
    // The first handle is gone: a writer that denies others may open it again.
    CFile writer;
    EXPECT_TRUE(Open(writer, first, {.write = true}));
    ASSERT_TRUE(writer.GetSize(size));
    EXPECT_EQ(size, 10u);
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(std::filesystem::exists(Path()));
    EXPECT_TRUE(file.Close());
}

// A 5-byte file and a 12-byte read: the buffered stream reports what it got,
// the unbuffered one insists on all of it. Empty reads succeed even at the end.
TEST_F(FileTest, ShortAndEmptyReadsWithAndWithoutTheBuffer) {
    std::wstring path = MakeFile(PatternBytes(5));
    for (bool buffered : {true, false}) {
        SCOPED_TRACE(buffered ? "buffered" : "direct");
        CFile file;
        ASSERT_TRUE(OpenForReading(file, path, buffered));
        uint8_t bytes[12] = {};
        uint32_t count = 99;
        EXPECT_EQ(file.Read(bytes, sizeof bytes, &count), buffered);
        EXPECT_EQ(count, 5u);
        EXPECT_EQ(file.position(), buffered ? 5u : 0u);
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), PatternBytes(5));
        for (uint64_t at : {0u, 5u}) {
            EXPECT_TRUE(file.ReadAt(at, bytes, 0, &count));
            EXPECT_EQ(count, 0u);
            EXPECT_EQ(file.position(), at);
        }
    }
}

TEST_F(FileTest, BufferedReadsSpanRefillsWithOneSystemReadPer64KiB) {
    constexpr uint32_t kSize = 200000;
    CFile file;
    ASSERT_TRUE(OpenForReading(file, MakeFile(PatternBytes(kSize)), true));
    platform::ArmIoFault({.kind = platform::IoFault::Kind::FailRead, .ordinal = 0});  // counts only
    std::vector<uint8_t> all;
    uint8_t piece[7];
    uint32_t count = 0;
    while (file.Read(piece, sizeof piece, &count)) all.insert(all.end(), piece, piece + count);
    uint32_t reads = platform::IoFaultCallsSeen();
    platform::DisarmIoFault();
    EXPECT_EQ(all, PatternBytes(kSize));
    // Four refills bring data; then the last read of 7 and the final call each
    // find the end once.
    EXPECT_EQ(reads, 6u);
}

TEST_F(FileTest, ReadAtAndSeekMoveInAndOutOfTheBuffer) {
    std::wstring path = MakeFile(PatternBytes(100000));
    struct Step {
        int64_t offset;
        uint32_t method;
        uint64_t position;
    };
    const Step steps[] = {{10, CFile::kFromBeginning, 10}, {5, CFile::kFromCurrent, 16},
                          {-10, CFile::kFromEnd, 99990},  {-3, CFile::kFromCurrent, 99988}};
    for (bool buffered : {true, false}) {
        SCOPED_TRACE(buffered ? "buffered" : "direct");
        CFile file;
        ASSERT_TRUE(OpenForReading(file, path, buffered));
        uint8_t bytes[10] = {};
        for (uint64_t at : {70000u, 5u, 65530u, 99990u}) {
            ASSERT_TRUE(file.ReadAt(at, bytes, sizeof bytes, nullptr)) << at;
            EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 10), PatternBytes(10, at)) << at;
            EXPECT_EQ(file.position(), at + 10);
        }
        for (const Step& step : steps) {
            ASSERT_TRUE(file.Seek(step.offset, step.method));
            EXPECT_EQ(file.position(), step.position);
            ASSERT_TRUE(file.Read(bytes, 1, nullptr));
            EXPECT_EQ(bytes[0], PatternBytes(1, step.position)[0]) << step.position;
        }
    }
}

TEST_F(FileTest, RefusedSeeksDoNotMove) {
    CFile file;
    ASSERT_TRUE(Open(file, MakeFile(PatternBytes(100)), {}));
    ASSERT_TRUE(file.Seek(7, CFile::kFromBeginning));
    EXPECT_FALSE(file.Seek(1, 3));
    EXPECT_EQ(file.position(), 7u);
    CFile unopened;
    ASSERT_TRUE(unopened.AttachReadBuffer());  // the handle is not moved, so only the size can fail
    EXPECT_FALSE(unopened.Seek(0, CFile::kFromEnd));
    EXPECT_EQ(unopened.position(), 0u);
}

// After a few buffered bytes the handle stands at the end of the refill; the
// first write must land at the logical position all the same, and later reads
// go straight to the handle.
TEST_F(FileTest, WriteAfterBufferedReadLandsAtTheLogicalPosition) {
    for (uint32_t size : {100u, 70000u}) {
        SCOPED_TRACE(size);
        std::wstring path = MakeFile(PatternBytes(size));
        AllocationFaults faults;
        CFile file;
        ASSERT_TRUE(Open(file, path, {.write = true}));
        ASSERT_TRUE(file.AttachReadBuffer());
        uint8_t head[3];
        ASSERT_TRUE(file.Read(head, sizeof head, nullptr));
        ASSERT_TRUE(file.Write("XY", 2));
        EXPECT_EQ(faults.liveBlocks(), 0u);  // the buffer went with the write
        EXPECT_EQ(file.position(), 5u);
        ASSERT_TRUE(file.Read(head, 1, nullptr));
        EXPECT_EQ(head[0], 5);
        ASSERT_TRUE(file.Close());
        std::vector<uint8_t> expected = PatternBytes(size);
        expected[3] = 'X';
        expected[4] = 'Y';
        EXPECT_EQ(ReadBack(path), expected);
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
