// CFile forwarding to a driver host's file callbacks, with an in-memory host.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "runtime/File.h"

namespace TarnVerifyTrustDriver {
namespace {

// A host stream over a byte vector that logs every move it is asked for.
struct MemoryHost {
    std::vector<uint8_t> bytes;
    uint64_t at = 0;
    std::vector<std::pair<int64_t, uint32_t>> moves;
    bool refuseMoves = false;
    int closes = 0;
    CCallbacks record;

    explicit MemoryHost(std::vector<uint8_t> content) : bytes(std::move(content)) {
        record.context = this;
        record.hostStream = &bytes;
        record.close = [](void* context, void*) {
            ++Self(context).closes;
            return true;
        };
        record.read = [](void* context, void*, void* buffer, uint32_t size, uint32_t* done) {
            MemoryHost& host = Self(context);
            uint64_t available = host.at < host.bytes.size() ? host.bytes.size() - host.at : 0;
            *done = static_cast<uint32_t>(std::min<uint64_t>(size, available));
            std::copy_n(host.bytes.begin() + static_cast<std::ptrdiff_t>(host.at), *done, static_cast<uint8_t*>(buffer));
            host.at += *done;
            return true;
        };
        record.write = [](void* context, void*, const void* buffer, uint32_t size, uint32_t* done) {
            MemoryHost& host = Self(context);
            const auto* in = static_cast<const uint8_t*>(buffer);
            if (host.bytes.size() < host.at + size) host.bytes.resize(host.at + size);
            std::copy_n(in, size, host.bytes.begin() + static_cast<std::ptrdiff_t>(host.at));
            host.at += size;
            *done = size;
            return true;
        };
        record.seek = [](void* context, void*, int64_t offset, uint32_t method) {
            MemoryHost& host = Self(context);
            host.moves.emplace_back(offset, method);
            if (host.refuseMoves) return false;
            uint64_t base = method == 0 ? 0 : method == 1 ? host.at : host.bytes.size();
            host.at = base + static_cast<uint64_t>(offset);
            return true;
        };
        record.getSize = [](void* context, void*, uint64_t* size) {
            *size = Self(context).bytes.size();
            return true;
        };
    }

    static MemoryHost& Self(void* context) { return *static_cast<MemoryHost*>(context); }
};

TEST(FileHost, ReadsWritesAndSizesGoThroughTheHost) {
    MemoryHost host({'a', 'b', 'c', 'd', 'e'});
    CFile file(&host.record);
    uint64_t size = 0;
    ASSERT_TRUE(file.GetSize(size));
    EXPECT_EQ(size, 5u);

    ASSERT_TRUE(file.AttachReadBuffer());
    uint8_t bytes[3] = {};
    ASSERT_TRUE(file.ReadAt(1, bytes, 3, nullptr));
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 3), (std::vector<uint8_t>{'b', 'c', 'd'}));

    ASSERT_TRUE(file.Write("XY", 2));  // back at the logical position 4 first
    EXPECT_EQ(host.bytes, (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'X', 'Y'}));
    ASSERT_TRUE(file.Seek(-1, CFile::kFromEnd));
    EXPECT_EQ(file.position(), 5u);

    EXPECT_TRUE(file.Close());
    EXPECT_EQ(host.closes, 1);
}

// The refill left the host at the end; writing there instead of at the
// logical position would put the bytes in the wrong place.
TEST(FileHost, WriteThatCannotReturnToThePositionWritesNothing) {
    MemoryHost host({'a', 'b', 'c', 'd', 'e'});
    CFile file(&host.record);
    ASSERT_TRUE(file.AttachReadBuffer());
    uint8_t bytes[2] = {};
    ASSERT_TRUE(file.ReadAt(1, bytes, 2, nullptr));
    host.refuseMoves = true;
    EXPECT_FALSE(file.Write("XY", 2));
    EXPECT_EQ(host.bytes, (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e'}));
    EXPECT_EQ(file.position(), 3u);
}

TEST(FileHost, PositionsAboveTheLargestSignedOffsetAreSplit) {
    MemoryHost host({});
    CFile file(&host.record);
    ASSERT_TRUE(file.SeekTo(0x8000000000000005ull));
    EXPECT_EQ(file.position(), 0x8000000000000005ull);
    using Move = std::pair<int64_t, uint32_t>;
    EXPECT_EQ(host.moves, (std::vector<Move>{{0x7FFFFFFFFFFFFFFF, 0}, {6, 1}}));
}

TEST(FileHost, MissingHooksFailInsteadOfFallingBackToTheDisk) {
    CCallbacks empty;
    CFile file(&empty);
    uint64_t size = 0;
    uint8_t byte = 0;
    CFileIO::COpenParameters parameters(L"ignored");  // opening is left to the host
    uint32_t error = 0;
    EXPECT_FALSE(file.Open(parameters, error));
    EXPECT_FALSE(file.GetSize(size));
    EXPECT_FALSE(file.Read(&byte, 1, nullptr));
    EXPECT_FALSE(file.Write(&byte, 1));
    EXPECT_FALSE(file.Seek(0, CFile::kFromBeginning));
    EXPECT_FALSE(file.Close());
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
