#include "frontend/Console.h"

#include <gtest/gtest.h>

namespace CatalogDB {
namespace {

TEST(Console, FormatsWideStringsNumbersAndPercent) {
    EXPECT_EQ(FormatText(L"a %s b", L"\u00e9x"), L"a \u00e9x b");
    EXPECT_EQ(FormatText(L"%d|%d|%d", 0, -7, 2147483647), L"0|-7|2147483647");
    EXPECT_EQ(FormatText(L"%x", 0x8007000Eu), L"8007000e");
    EXPECT_EQ(FormatText(L"100%% %q"), L"100% q");
    EXPECT_EQ(FormatText(L"trailing %"), L"trailing %");
    EXPECT_EQ(FormatText(L"\\%s", L"ProductInfo"), L"\\ProductInfo");
}

TEST(Console, PrintWritesUtf8) {
    testing::internal::CaptureStdout();
    Print(L"Path: %s\n", L"C:\\\u00dcber");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Path: C:\\\xc3\x9c" "ber\n");
}

}  // namespace
}  // namespace CatalogDB
