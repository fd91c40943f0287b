#include "catalog/RootTable.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace TarnVerifyTrustDriver {
namespace {

struct ExpectedRoot {
    uint64_t id;
    uint32_t group;
};

// Table order: group 1, then 2, then 3, each in id order.
constexpr ExpectedRoot kExpected[] = {
    {1, 1},   {2, 1},   {3, 1},   {4, 1},   {5, 1},   {6, 1},   {7, 1},   {301, 2}, {302, 2},
    {303, 2}, {304, 2}, {305, 2}, {306, 2}, {307, 2}, {308, 2}, {901, 3}, {903, 3},
};

TEST(RootTableTest, RowsAreInTableOrderWithTheirGroups) {
    std::span<RootRow> table = RootTable();
    ASSERT_EQ(table.size(), std::size(kExpected));
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(table[i].id, kExpected[i].id);
        EXPECT_EQ(RootGroup(table[i].id), kExpected[i].group);
        EXPECT_EQ(table[i].verified.load(), 0u);
    }
}

// The compiled table must be the certificates it was generated from.
TEST(RootTableTest, MatchesTheDerFilesByteForByte) {
    for (const RootRow& row : RootTable()) {
        std::string path = KORVA_SHARED_DIR "/roots/" + std::to_string(row.id) + ".der";
        std::ifstream file(path, std::ios::binary);
        if (!file) GTEST_SKIP() << "shared roots not found: " << path;
        std::vector<uint8_t> der((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        ASSERT_EQ(der.size(), row.length) << path;
        EXPECT_TRUE(std::equal(der.begin(), der.end(), row.der)) << path;
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
