#include "engine/EntryBatch.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace TarnVerifyTrustDriver::test {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kBlock = EntryBatch::kBlockSize;

// Keeps what it is given; the write numbered `failAt` (from 1) fails.
struct Output : IStoreOutput {
    bool Write(const void* data, uint32_t size) override {
        if (++writes == failAt) return false;
        return bytes.insert(bytes.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size), true;
    }
    Bytes bytes;
    uint32_t writes = 0, failAt = 0;
};

// Saves entries of the given sizes, entry i filled with i + 1, each in two
// puts as a tag and its fields go in; gives the marks left unsaved.
std::vector<bool> Save(const std::vector<uint32_t>& sizes, bool batched, Output& output) {
    std::unique_ptr<bool[]> marks(new bool[sizes.size() + 1]);
    std::fill_n(marks.get(), sizes.size(), true);
    EntryBatch batch(output, nullptr, batched);
    bool ok = true;
    for (size_t i = 0; i < sizes.size() && ok; ++i) {
        Bytes entry(sizes[i], static_cast<uint8_t>(i + 1));
        ok = batch.Put({entry.data(), entry.size() / 2}) && batch.Put(std::span(entry).subspan(entry.size() / 2)) &&
             batch.End(marks[i]);
    }
    ok = ok && batch.Flush();
    EXPECT_EQ(ok, output.failAt == 0 || output.failAt > output.writes);
    return std::vector<bool>(marks.get(), marks.get() + sizes.size());
}

const std::vector<std::vector<uint32_t>> kShapes = {
    {}, {6}, {29, 6, 38, 1000},
    {kBlock - 10, 20, 5},              // the second entry straddles two blocks
    {10, 3 * kBlock + 7, 10},          // an entry longer than a block
    std::vector<uint32_t>(40000, 38),  // many small entries over several blocks
};

// Batched or not, the bytes are those of the entries in order, in one write
// per block; after a failed write the bytes out are a prefix of them and an
// entry is marked saved only if all of it is in that prefix.
TEST(EntryBatchTest, WritesEveryEntryWholeOrLeavesItUnsaved) {
    for (const auto& sizes : kShapes) {
        Bytes whole;
        for (size_t i = 0; i < sizes.size(); ++i) whole.insert(whole.end(), sizes[i], static_cast<uint8_t>(i + 1));
        for (bool batched : {true, false}) {
            Output complete;
            EXPECT_EQ(Save(sizes, batched, complete), std::vector<bool>(sizes.size(), false));
            EXPECT_EQ(complete.bytes, whole);
            EXPECT_LE(complete.writes, batched ? whole.size() / kBlock + 1 : whole.size());
            for (uint32_t failAt = 1; failAt <= complete.writes; failAt += 1 + complete.writes / 40) {
                Output failing;
                failing.failAt = failAt;
                std::vector<bool> unsaved = Save(sizes, batched, failing);
                ASSERT_TRUE(std::equal(failing.bytes.begin(), failing.bytes.end(), whole.begin()));
                size_t end = 0;
                for (size_t i = 0; i < sizes.size(); ++i) {
                    end += sizes[i];
                    EXPECT_TRUE(unsaved[i] || end <= failing.bytes.size()) << i << " fails at " << failAt;
                }
            }
        }
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
