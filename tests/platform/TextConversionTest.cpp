#include "platform/TextConversion.h"

#include <gtest/gtest.h>

namespace korva::platform {
namespace {

TEST(TextConversion, Utf8RoundTripKeepsEveryPlane) {
    const std::wstring text = L"C:\\Pfad\\\u00e9t\u00e9\\\u6f22\\" + std::wstring(1, static_cast<wchar_t>(0x20AC));
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(WideToUtf8(L"\u00e9"), "\xc3\xa9");
}

TEST(TextConversion, MalformedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(Utf8ToWide("a\xff" "b"), L"a\ufffdb");
    EXPECT_EQ(Utf8ToWide("\xc3"), L"\ufffd");           // truncated sequence at the end
    EXPECT_EQ(Utf8ToWide("\xc0\xaf"), L"\ufffd\ufffd");  // overlong encoding of '/'
    EXPECT_EQ(Utf8ToWide("\xed\xa0\x80").substr(0, 1), L"\ufffd");  // encoded surrogate
}

TEST(TextConversion, Utf16LeHandlesSurrogatePairsAndOddLengths) {
    const uint8_t pair[] = {0x3D, 0xD8, 0x00, 0xDE, 'A', 0, 'x'};  // U+1F600, 'A', stray byte
    std::wstring wide = Utf16LeToWide(pair, sizeof pair);
    EXPECT_EQ(WideToUtf8(wide), "\xF0\x9F\x98\x80" "A");
    EXPECT_EQ(WideToUtf16Le(wide), std::string(reinterpret_cast<const char*>(pair), 6));
}

TEST(TextConversion, AsciiCaseFoldingLeavesOtherLettersAlone) {
    EXPECT_TRUE(EqualsIgnoreAsciiCase(L"/UNINSTALL", L"/uninstall"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase(L"\u00c9", L"\u00e9"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase(L"/n", L"/n "));
}

}  // namespace
}  // namespace korva::platform
