// CFile over files of a scratch directory: dispositions, buffered and direct
// reads, seeks, and the same under injected faults of the file layer.
#include "runtime/File.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/IoFault.h"
#include "platform/Types.h"
#include "tests/common/AllocationFaults.h"
#include "tests/common/TempFiles.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace platform = korva::platform;
using korva::test_support::AllocationFaults;
using korva::test_support::PatternBytes;
using Kind = platform::IoFault::Kind;

struct OpenFlags {
    bool create = false;
    bool openAlways = false;
    bool read = true;
    bool write = false;
    bool deleteOnClose = false;
};

class FileTest : public testing::Test {
protected:
    std::wstring Path(const wchar_t* name = L"data.bin") const { return directory_.File(name); }

    // Writes `bytes` to a fresh file and returns its path.
    std::wstring MakeFile(const std::vector<uint8_t>& bytes, const wchar_t* name = L"data.bin") const {
        std::wstring path = Path(name);
        korva::test_support::WriteBytes(path, bytes);
        return path;
    }

    static bool Open(CFile& file, const std::wstring& path, OpenFlags flags, uint32_t* error = nullptr) {
        CFileIO::COpenParameters parameters(path.c_str());
        parameters.create = flags.create;
        parameters.openAlways = flags.openAlways;
        parameters.read = flags.read;
        parameters.write = flags.write;
        parameters.deleteOnClose = flags.deleteOnClose;
        uint32_t ignored = 0;
        return file.Open(parameters, error != nullptr ? *error : ignored);
    }

    static bool OpenForReading(CFile& file, const std::wstring& path, bool buffered) {
        return Open(file, path, {}) && (!buffered || file.AttachReadBuffer());
    }

    static std::vector<uint8_t> ReadBack(const std::wstring& path) { return korva::test_support::ReadFile(path); }

private:
    korva::test_support::TempDirectory directory_;
};

class ArmedFault {
public:
    explicit ArmedFault(const platform::IoFault& fault) { platform::ArmIoFault(fault); }
    ~ArmedFault() { platform::DisarmIoFault(); }
};

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

// Each faulted call fails, hands over what the unbuffered stream got and
// leaves the position at 4, where a first write put it; the fault is one call
// only, so the same call then succeeds. Ordinal 0 only counts the calls of its
// kind: an unbuffered read moves nothing, a seek is one call.
TEST_F(FileTest, FaultedCallsFailWithoutMoving) {
    uint8_t bytes[10];
    uint32_t count = 99;
    auto read = [&](CFile& file) { return file.Read(bytes, sizeof bytes, &count); };
    auto seek = [](CFile& file) { return file.Seek(10, CFile::kFromBeginning); };
    auto write = [](CFile& file) { return file.Write("body", 4); };
    const struct {
        Kind kind;
        std::function<bool(CFile&)> call;
        uint32_t count;  // 99: not reported
    } cases[] = {{Kind::FailRead, read, 0}, {Kind::ShortRead, read, 9}, {Kind::FailSeek, seek, 99},
                 {Kind::FailWrite, write, 99}, {Kind::ShortWrite, write, 99}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        CFile file;
        ASSERT_TRUE(Open(file, MakeFile(PatternBytes(100)), {.write = true}));
        ASSERT_TRUE(file.Write("head", 4));
        count = 99;
        {
            ArmedFault fault({.kind = c.kind, .ordinal = 1});
            EXPECT_FALSE(c.call(file));
            if (c.kind == Kind::FailSeek) {
                EXPECT_EQ(platform::LastError(), platform::kErrorIoDevice);
            }
        }
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(file.position(), 4u);
        EXPECT_TRUE(c.call(file));
    }
    CFile file;
    ASSERT_TRUE(Open(file, MakeFile(PatternBytes(100)), {}));
    ArmedFault counting({.kind = Kind::FailSeek, .ordinal = 0});
    ASSERT_TRUE(read(file) && seek(file));
    EXPECT_EQ(platform::IoFaultCallsSeen(), 1u);
}

// A refill that comes back short still serves its bytes; the next refill
// starts where it ended.
TEST_F(FileTest, ShortRefillIsUsedAndFollowedByAnother) {
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

TEST_F(FileTest, FailedRefillReportsWhatWasAlreadyCopied) {
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

}  // namespace
}  // namespace TarnVerifyTrustDriver
