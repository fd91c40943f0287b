#include "platform/TextConversion.h"
#include "platform/TextCursor.h"

#include <gtest/gtest.h>

#include <string_view>

namespace korva::platform {
namespace {

TEST(TextConversion, Utf8RoundTripKeepsEveryPlane) {
    const std::wstring text = L"C:\\Pfad\\\u00e9t\u00e9\\\u6f22\\" + std::wstring(1, static_cast<wchar_t>(0x20AC));
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(WideToUtf8(L"\u00e9"), "\xc3\xa9");
}

TEST(TextConversion, Utf8DecodesOnlyShortestFormsOfScalarValues) {
    const std::pair<const char*, std::wstring> cases[] = {
        {"a\xff" "b", L"a\ufffdb"},
        {"\xc3", L"\ufffd"},                          // truncated sequence at the end
        {"\xc0\xaf", L"\ufffd\ufffd"},                // overlong two-byte '/'
        {"\xe0\x80\xaf", L"\ufffd\ufffd\ufffd"},      // overlong three-byte '/'
        {"\xf0\x80\x80\xaf", L"\ufffd\ufffd\ufffd\ufffd"},  // overlong four-byte '/'
        {"\xf4\x90\x80\x80", L"\ufffd\ufffd\ufffd\ufffd"},  // above U+10FFFF
        {"\xed\xa0\x80", L"\ufffd\ufffd\ufffd"},      // encoded surrogate
        {"\xf0\x9f\x98\x80!", Utf16LeToWide(reinterpret_cast<const uint8_t*>("\x3d\xd8\x00\xde!\0"), 6)},
    };
    for (const auto& [utf8, wide] : cases) EXPECT_EQ(Utf8ToWide(utf8), wide) << utf8;
}

TEST(TextConversion, Utf16LeHandlesSurrogatePairsAndOddLengths) {
    const uint8_t pair[] = {0x3D, 0xD8, 0x00, 0xDE, 'A', 0, 'x'};  // U+1F600, 'A', stray byte
    std::wstring wide = Utf16LeToWide(pair, sizeof pair);
    EXPECT_EQ(WideToUtf8(wide), "\xF0\x9F\x98\x80" "A");
    EXPECT_EQ(WideToUtf16Le(wide), std::string(reinterpret_cast<const char*>(pair), 6));
    // A high surrogate at the very end, and one followed by a non-surrogate.
    const uint8_t unpaired[] = {'A', 0, 0x3D, 0xD8, 'B', 0, 0x3D, 0xD8};
    EXPECT_EQ(WideToUtf8(Utf16LeToWide(unpaired, sizeof unpaired)), "A\xEF\xBF\xBD" "B\xEF\xBF\xBD");
}

TEST(TextConversion, AsciiCaseFoldingLeavesOtherLettersAlone) {
    EXPECT_TRUE(EqualsIgnoreAsciiCase(L"/UNINSTALL", L"/uninstall"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase(L"\u00c9", L"\u00e9"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase(L"/n", L"/n "));
    EXPECT_TRUE(EqualsIgnoreAsciiCase(std::string_view("CatRoot\xc3\x89"), std::string_view("CATROOT\xc3\x89")));
    EXPECT_FALSE(EqualsIgnoreAsciiCase(std::string_view("\xc3\x89"), std::string_view("\xc3\xa9")));
    EXPECT_TRUE(StartsWithIgnoreAsciiCase(L"\\SYSTEMROOT\\x", L"\\SystemRoot\\"));
    EXPECT_FALSE(StartsWithIgnoreAsciiCase(L"\\System", L"\\SystemRoot"));
    // _wcsicmp folds to lower case: "_" (0x5F) sorts before "b", not after "B".
    EXPECT_LT(CompareIgnoreAsciiCase(L"a_", L"aB"), 0);
    EXPECT_LT(CompareIgnoreAsciiCase(L"ab", L"ABC"), 0);
    EXPECT_EQ(CompareIgnoreAsciiCase(L"Csidl", L"CSIDL"), 0);
}

std::span<const wchar_t> Units(std::wstring_view text) { return {text.data(), text.size()}; }

TEST(TextCursor, GettersAdvanceOnlyWhenTheyMatchWhatIsLeft) {
    constexpr std::wstring_view text = L"ab1";
    TextCursor cursor(Units(text));
    EXPECT_FALSE(cursor.SkipPrefix(Units(L"ab12")));  // one past the end
    EXPECT_FALSE(cursor.Skip(L'b'));
    EXPECT_EQ(cursor.Remaining(), 3u);
    EXPECT_EQ(cursor.TakeWhile([](wchar_t c) { return c >= L'a'; }).size(), 2u);
    EXPECT_TRUE(cursor.SkipPrefix(Units(L"1")));  // exactly what is left
    wchar_t unit = L'#';
    EXPECT_FALSE(cursor.Peek(unit));
    EXPECT_FALSE(cursor.Next(unit));
    EXPECT_EQ(unit, L'#');
    EXPECT_TRUE(cursor.TakeWhile([](wchar_t) { return true; }).empty());
    EXPECT_TRUE(cursor.AtEnd());
    EXPECT_TRUE(TextCursor(nullptr, 4).AtEnd());
}

}  // namespace
}  // namespace korva::platform
