// Conversions at the host boundary. Wide strings are UTF-16 on Windows and
// UTF-32 elsewhere; these helpers hide which.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korva::platform {

std::string WideToUtf8(std::wstring_view text);
std::wstring Utf8ToWide(std::string_view text);
// UTF-16LE bytes (no BOM handling) to a wide string; an odd trailing byte is dropped.
std::wstring Utf16LeToWide(const uint8_t* bytes, size_t size);
std::string WideToUtf16Le(std::wstring_view text);

// ASCII-only case folding, as the tool's comparisons use: the one set of
// these helpers every layer shares.
wchar_t AsciiLower(wchar_t c);
wchar_t AsciiUpper(wchar_t c);
bool EqualsIgnoreAsciiCase(std::wstring_view a, std::wstring_view b);
bool StartsWithIgnoreAsciiCase(std::wstring_view text, std::wstring_view prefix);
// _wcsicmp's order: letters folded to lower case, then compared as units;
// negative, zero or positive.
int CompareIgnoreAsciiCase(std::wstring_view a, std::wstring_view b);
// The same over UTF-8 or other byte text: bytes above 0x7F compare as they are.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace korva::platform
