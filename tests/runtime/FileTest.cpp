#include "runtime/File.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/Files.h"
#include "platform/IoFault.h"
#include "platform/Trace.h"
#include "platform/TraceRecorder.h"
#include "platform/Types.h"
#include "tests/runtime/FileTestSupport.h"
#include "tests/common/AllocationFaults.h"
#include "tests/common/TempFiles.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace platform = korva::platform;
namespace trace = korva::trace;
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
        {"create makes", {.create = true, .write = true}, false, true, {}},
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
        trace::Recorder recorder;
        CFile file;
        uint32_t error = 12345;
        EXPECT_EQ(Open(file, path, c.flags, &error), c.opens);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(file.IsOpen(), c.opens);
        EXPECT_EQ(file.position(), 0u);
        if (c.opens) {
            EXPECT_TRUE(file.Close());
            EXPECT_EQ(ReadBack(path), c.after);
        } else {
            ASSERT_TRUE(recorder.Has(trace::Source::FileIo, 10));
            EXPECT_EQ(recorder.events().back().numbers.at(0), c.error);
            EXPECT_FALSE(std::filesystem::exists(Path()));
        }
    }
}

TEST_F(FileTest, ReopeningClosesTheFirstFileAndStartsAtZero) {
    std::wstring first = MakeFile(PatternBytes(10), L"first.bin");
    std::wstring second = MakeFile({'s'}, L"second.bin");
    CFile file;
    ASSERT_TRUE(Open(file, first, {.write = true}));
    ASSERT_TRUE(file.Seek(4, CFile::kFromBeginning));
    ASSERT_TRUE(Open(file, second, {}));
    EXPECT_EQ(file.position(), 0u);
    // The first handle is gone: a writer that denies others may open it again.
    CFile writer;
    EXPECT_TRUE(Open(writer, first, {.write = true}));
}

TEST_F(FileTest, DeleteOnCloseRemovesTheFile) {
    std::wstring path = Path();
    CFile file;
    ASSERT_TRUE(Open(file, path, {.create = true, .write = true, .deleteOnClose = true}));
    ASSERT_TRUE(file.Write("x", 1));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(FileTest, CloseAndSizeOfClosedStreams) {
    CFile file;
    uint64_t size = 7;
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.GetSize(size));
    EXPECT_EQ(size, 7u);

    ASSERT_TRUE(Open(file, MakeFile(PatternBytes(100)), {}));
    ASSERT_TRUE(file.GetSize(size));
    EXPECT_EQ(size, 100u);
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.Close());
}

// A 5-byte file and a 12-byte read: the buffered stream reports what it got,
// the unbuffered one insists on all of it.
TEST_F(FileTest, ShortFileReadWithAndWithoutTheBuffer) {
    std::wstring path = MakeFile(PatternBytes(5));
    for (bool buffered : {true, false}) {
        SCOPED_TRACE(buffered ? "buffered" : "direct");
        trace::Recorder recorder;
        CFile file;
        ASSERT_TRUE(OpenForReading(file, path, buffered));
        uint8_t bytes[12] = {};
        uint32_t count = 99;
        EXPECT_EQ(file.Read(bytes, sizeof bytes, &count), buffered);
        EXPECT_EQ(count, 5u);
        EXPECT_EQ(file.position(), buffered ? 5u : 0u);
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), PatternBytes(5));
        EXPECT_TRUE(recorder.Has(trace::Source::FileIo, 15));
        EXPECT_EQ(recorder.Has(trace::Source::File, 13), !buffered);
    }
}

TEST_F(FileTest, EmptyReadsSucceedEvenAtTheEnd) {
    std::wstring path = MakeFile(PatternBytes(5));
    for (bool buffered : {true, false}) {
        SCOPED_TRACE(buffered ? "buffered" : "direct");
        CFile file;
        ASSERT_TRUE(OpenForReading(file, path, buffered));
        for (uint64_t at : {0u, 5u}) {
            uint32_t count = 99;
            uint8_t unused[1];
            EXPECT_TRUE(file.ReadAt(at, unused, 0, &count));
            EXPECT_EQ(count, 0u);
            EXPECT_EQ(file.position(), at);
        }
    }
}

TEST_F(FileTest, BufferedReadsSpanRefillsWithOneSystemReadPer64KiB) {
    constexpr uint32_t kSize = 200000;
    std::wstring path = MakeFile(PatternBytes(kSize));
    CFile file;
    ASSERT_TRUE(Open(file, path, {}));
    ASSERT_TRUE(file.AttachReadBuffer());
    platform::ArmIoFault({.kind = platform::IoFault::Kind::FailRead, .ordinal = 0});  // counts only

    std::vector<uint8_t> all;
    uint8_t piece[7];
    uint32_t count = 0;
    while (file.Read(piece, sizeof piece, &count)) all.insert(all.end(), piece, piece + count);
    uint32_t reads = platform::IoFaultCallsSeen();
    platform::DisarmIoFault();

    EXPECT_EQ(all, PatternBytes(kSize));
    EXPECT_EQ(file.position(), kSize);
    // Four refills bring data; then the last read of 7 and the final call each
    // find the end once.
    EXPECT_EQ(reads, 6u);
    EXPECT_EQ(count, 0u);
}

TEST_F(FileTest, ReadAtMovesInAndOutOfTheBuffer) {
    std::wstring path = MakeFile(PatternBytes(100000));
    for (bool buffered : {true, false}) {
        SCOPED_TRACE(buffered ? "buffered" : "direct");
        CFile file;
        ASSERT_TRUE(OpenForReading(file, path, buffered));
        for (uint64_t at : {70000u, 5u, 65530u, 99990u}) {
            uint8_t bytes[10] = {};
            ASSERT_TRUE(file.ReadAt(at, bytes, sizeof bytes, nullptr)) << at;
            EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 10), PatternBytes(10, at)) << at;
            EXPECT_EQ(file.position(), at + 10);
        }
    }
}

TEST_F(FileTest, SeekMethodsMoveTheLogicalPosition) {
    std::wstring path = MakeFile(PatternBytes(100));
    struct Step {
        int64_t offset;
        uint32_t method;
        uint64_t position;
        uint8_t next;  // the byte a read finds there
    };
    const Step steps[] = {{10, CFile::kFromBeginning, 10, 10}, {5, CFile::kFromCurrent, 16, 16},
                          {-10, CFile::kFromEnd, 90, 90},     {-3, CFile::kFromCurrent, 88, 88},
                          {-1, CFile::kFromEnd, 99, 99}};
    for (bool buffered : {true, false}) {
        SCOPED_TRACE(buffered ? "buffered" : "direct");
        CFile file;
        ASSERT_TRUE(OpenForReading(file, path, buffered));
        for (const Step& step : steps) {
            ASSERT_TRUE(file.Seek(step.offset, step.method));
            EXPECT_EQ(file.position(), step.position);
            uint8_t byte = 0;
            ASSERT_TRUE(file.Read(&byte, 1, nullptr));
            EXPECT_EQ(byte, step.next);
        }
        ASSERT_TRUE(file.Seek(0, CFile::kFromEnd));
        EXPECT_EQ(file.position(), 100u);
    }
}

TEST_F(FileTest, UnknownSeekMethodIsRefusedWithoutMoving) {
    CFile file;
    ASSERT_TRUE(Open(file, MakeFile(PatternBytes(100)), {}));
    ASSERT_TRUE(file.Seek(7, CFile::kFromBeginning));
    trace::Recorder recorder;
    EXPECT_FALSE(file.Seek(1, 3));
    EXPECT_EQ(file.position(), 7u);
    ASSERT_TRUE(recorder.Has(trace::Source::File, 12));
    EXPECT_EQ(recorder.events().back().numbers.at(0), 3u);
}

TEST_F(FileTest, SeekFromTheEndFailsWhenTheSizeIsUnknown) {
    CFile file;
    ASSERT_TRUE(file.AttachReadBuffer());  // the handle is not moved, so only the size can fail
    trace::Recorder recorder;
    EXPECT_FALSE(file.Seek(0, CFile::kFromEnd));
    EXPECT_TRUE(recorder.Has(trace::Source::File, 11));
    EXPECT_EQ(file.position(), 0u);
}

TEST_F(FileTest, SeekToBeyondTheLargestSignedOffsetIsReachedInTwoMoves) {
    CFile file;
    ASSERT_TRUE(file.AttachReadBuffer());  // the logical position alone moves
    ASSERT_TRUE(file.SeekTo(0x8000000000000005ull));
    EXPECT_EQ(file.position(), 0x8000000000000005ull);
    ASSERT_TRUE(file.SeekTo(0x7FFFFFFFFFFFFFFFull));
    EXPECT_EQ(file.position(), 0x7FFFFFFFFFFFFFFFull);
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
        EXPECT_FALSE(file.HasReadBuffer());
        EXPECT_EQ(faults.liveBlocks(), 0u);  // the buffer went with the write
        EXPECT_EQ(file.position(), 5u);
        uint8_t next = 0;
        ASSERT_TRUE(file.Read(&next, 1, nullptr));
        EXPECT_EQ(next, 5);
        ASSERT_TRUE(file.Close());

        std::vector<uint8_t> expected = PatternBytes(size);
        expected[3] = 'X';
        expected[4] = 'Y';
        EXPECT_EQ(ReadBack(path), expected);
    }
}

TEST_F(FileTest, WritesAppendAtTheEndAfterASeek) {
    std::wstring path = MakeFile(kOld);
    CFile file;
    ASSERT_TRUE(Open(file, path, {.openAlways = true, .write = true}));
    ASSERT_TRUE(file.Seek(0, CFile::kFromEnd));
    ASSERT_TRUE(file.Write("new", 3));
    ASSERT_TRUE(file.SeekTo(0));
    ASSERT_TRUE(file.Write("O", 1));
    EXPECT_EQ(file.position(), 1u);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadBack(path), (std::vector<uint8_t>{'O', 'l', 'd', 'n', 'e', 'w'}));
}

TEST_F(FileTest, ReadBufferBelongsToTheStream) {
    AllocationFaults faults;
    {
        CFile file;
        ASSERT_TRUE(file.AttachReadBuffer());
        ASSERT_TRUE(file.AttachReadBuffer());  // keeps the one it has
        EXPECT_EQ(faults.attempts(), 1u);
        EXPECT_EQ(faults.liveBlocks(), 1u);
    }
    EXPECT_EQ(faults.liveBlocks(), 0u);

    faults.FailAt(1);
    CFile file;
    EXPECT_FALSE(file.AttachReadBuffer());
    EXPECT_FALSE(file.HasReadBuffer());
    ASSERT_TRUE(Open(file, MakeFile(PatternBytes(5)), {}));
    uint8_t bytes[5];
    EXPECT_TRUE(file.Read(bytes, sizeof bytes, nullptr));  // unbuffered, but it reads
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
