#include "engine/EntryBatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace TarnVerifyTrustDriver::test {
namespace {

constexpr uint32_t kBlock = EntryBatch::kBlockSize;

// Keeps what it is given; the write numbered `failAt` (from 1) fails.
struct Output : IStoreOutput {
    bool Write(const void* data, uint32_t size) override {
        if (++writes == failAt) return false;
        return bytes.insert(bytes.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size), true;
    }
    std::vector<uint8_t> bytes;
    uint32_t writes = 0, failAt = 0;
};

// Entries of these sizes, entry i filled with i + 1 and put in two halves;
// batched or not, the bytes out are a prefix of them all (all of them in one
// write per block when nothing fails), and an entry is marked saved only if
// all of it is in that prefix.
TEST(EntryBatchTest, WritesEveryEntryWholeOrLeavesItUnsaved) {
    const std::vector<std::vector<uint32_t>> shapes = {
        {29, 6, 38, 1000}, {kBlock - 10, 20, 5} /* straddles */, {10, 3 * kBlock + 7, 10} /* longer than a block */,
        std::vector<uint32_t>(40000, 38)};
    for (const auto& sizes : shapes) {
        std::vector<uint8_t> whole;
        for (size_t i = 0; i < sizes.size(); ++i) whole.insert(whole.end(), sizes[i], static_cast<uint8_t>(i + 1));
        for (bool batched : {true, false}) {
            for (uint32_t failAt = 0, writes = 1; failAt <= writes; failAt += 1 + writes / 40) {
                Output output;
                output.failAt = failAt;
                std::unique_ptr<bool[]> unsaved(new bool[sizes.size()]);
                std::fill_n(unsaved.get(), sizes.size(), true);
                EntryBatch batch(output, nullptr, batched);
                bool ok = true;
                for (size_t i = 0, start = 0; i < sizes.size() && ok; start += sizes[i++]) {
                    std::span<const uint8_t> entry = std::span(whole).subspan(start, sizes[i]);
                    ok = batch.Put(entry.first(entry.size() / 2)) && batch.Put(entry.subspan(entry.size() / 2)) &&
                         batch.End(unsaved[i]);
                }
                ok = ok && batch.Flush();
                if (failAt == 0) {
                    writes = output.writes;
                    EXPECT_TRUE(ok && output.bytes == whole);
                    EXPECT_LE(output.writes, batched ? whole.size() / kBlock + 1 : whole.size());
                }
                ASSERT_TRUE(std::equal(output.bytes.begin(), output.bytes.end(), whole.begin()));
                for (size_t i = 0, end = 0; i < sizes.size(); ++i) {
                    end += sizes[i];
                    EXPECT_TRUE(unsaved[i] || end <= output.bytes.size()) << i << " fails at " << failAt;
                }
            }
        }
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
