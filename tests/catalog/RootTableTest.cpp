#include "catalog/RootTable.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

namespace TarnVerifyTrustDriver {
namespace {

// Table order: by group, each group in id order; no row starts verified.
TEST(RootTableTest, RowsAreOrderedByGroupThenId) {
    std::span<RootRow> table = RootTable();
    ASSERT_FALSE(table.empty());
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].verified.load(), 0u);
        if (i > 0) {
            EXPECT_LT(std::pair(RootGroup(table[i - 1].id), table[i - 1].id), std::pair(RootGroup(table[i].id), table[i].id));
        }
    }
}

TEST(RootTableTest, TwoThreadsMarkARowOnce) {
    RootRow row{1, nullptr, 0, 0};
    int wins[2] = {0, 0};
    std::thread a([&] { wins[0] = MarkRootVerified(row) ? 1 : 0; });
    std::thread b([&] { wins[1] = MarkRootVerified(row) ? 1 : 0; });
    a.join();
    b.join();
    EXPECT_EQ(wins[0] + wins[1], 1);
    EXPECT_EQ(row.verified.load(), 1u);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
