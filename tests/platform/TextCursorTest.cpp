#include "platform/TextCursor.h"

#include <gtest/gtest.h>

#include <string_view>

namespace korva::platform {
namespace {

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
