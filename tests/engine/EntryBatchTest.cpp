#include "engine/EntryBatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "tests/common/AllocationFaults.h"

namespace TarnVerifyTrustDriver::test {
namespace {

using Bytes = std::vector<uint8_t>;

// Keeps what it is given; the write numbered `failAt` (from 1) fails.
class Output : public IStoreOutput {
public:
    bool Write(const void* data, uint32_t size) override {
        ++writes;
        if (writes == failAt) return false;
        written.insert(written.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
        return true;
    }
    Bytes written;
    uint32_t writes = 0;
    uint32_t failAt = 0;
};

// Entries of the given sizes, each filled with its own number.
struct Outcome {
    Bytes written;
    uint32_t writes = 0;
    std::vector<bool> unsaved;
    bool ok = true;
};

Outcome Save(const std::vector<uint32_t>& sizes, bool batched, uint32_t failAt = 0) {
    Output output;
    output.failAt = failAt;
    Outcome run;
    std::unique_ptr<bool[]> marks(new bool[sizes.size()]);
    std::fill_n(marks.get(), sizes.size(), true);
    {
        EntryBatch batch(output, nullptr, batched);
        for (size_t i = 0; i < sizes.size() && run.ok; ++i) {
            Bytes entry(sizes[i], static_cast<uint8_t>(i + 1));
            // Two puts per entry, as a tag and its fields go in.
            size_t half = entry.size() / 2;
            run.ok = batch.Put({entry.data(), half}) && batch.Put({entry.data() + half, entry.size() - half}) &&
                     batch.End(marks[i]);
        }
        run.ok = run.ok && batch.Flush();
    }
    run.written = output.written;
    run.writes = output.writes;
    run.unsaved.assign(marks.get(), marks.get() + sizes.size());
    return run;
}

Bytes Expected(const std::vector<uint32_t>& sizes) {
    Bytes bytes;
    for (size_t i = 0; i < sizes.size(); ++i) bytes.insert(bytes.end(), sizes[i], static_cast<uint8_t>(i + 1));
    return bytes;
}

constexpr uint32_t kBlock = EntryBatch::kBlockSize;

const std::vector<std::vector<uint32_t>> kShapes = {
    {},
    {6},
    {29, 6, 38, 1000},
    {kBlock - 10, 20, 5},                 // the second entry straddles two blocks
    {10, 3 * kBlock + 7, 10},             // an entry longer than a block
    std::vector<uint32_t>(40000, 38),     // many small entries over several blocks
};

TEST(EntryBatchTest, WritesTheSameBytesAsFieldByFieldInFewWrites) {
    for (const auto& sizes : kShapes) {
        Outcome batched = Save(sizes, true);
        Outcome direct = Save(sizes, false);
        ASSERT_TRUE(batched.ok && direct.ok) << sizes.size();
        EXPECT_EQ(batched.written, Expected(sizes)) << sizes.size();
        EXPECT_EQ(direct.written, Expected(sizes)) << sizes.size();
        EXPECT_EQ(batched.unsaved, std::vector<bool>(sizes.size(), false));
        EXPECT_LE(batched.writes, Expected(sizes).size() / kBlock + 1) << sizes.size();
    }
}

// After a failed write an entry is marked saved only if all its bytes made
// it out: the bytes written are a prefix of the whole, and every entry still
// marked saved lies within it.
TEST(EntryBatchTest, AFailedWriteLeavesUnsavedEveryEntryNotWholeInTheOutput) {
    for (const auto& sizes : kShapes) {
        for (bool batched : {true, false}) {
            uint32_t writes = Save(sizes, batched).writes;
            for (uint32_t failAt = 1; failAt <= writes; failAt += 1 + writes / 50) {
                Outcome run = Save(sizes, batched, failAt);
                EXPECT_FALSE(run.ok);
                Bytes whole = Expected(sizes);
                ASSERT_LE(run.written.size(), whole.size());
                EXPECT_TRUE(std::equal(run.written.begin(), run.written.end(), whole.begin()));
                size_t end = 0;
                for (size_t i = 0; i < sizes.size(); ++i) {
                    end += sizes[i];
                    if (!run.unsaved[i]) {
                        EXPECT_LE(end, run.written.size()) << i << " fails at " << failAt;
                    }
                }
            }
        }
    }
}

// Without memory for its block or its marks a batch still writes every byte
// and clears every mark.
TEST(EntryBatchTest, AllocationFailuresOnlyCostWrites) {
    const std::vector<uint32_t> sizes(5000, 38);
    korva::test_support::SweepAllocationFailures([&](uint64_t) {
        Outcome run = Save(sizes, true);
        EXPECT_TRUE(run.ok);
        EXPECT_EQ(run.written, Expected(sizes));
        EXPECT_EQ(run.unsaved, std::vector<bool>(sizes.size(), false));
    });
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
