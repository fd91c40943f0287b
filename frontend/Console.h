// Console output of the tool's messages. Formats follow the Windows wide
// printf convention, where %s is a wide string, on every host.
#pragma once

#include <string>

namespace CatalogDB {

// Supports %s (const wchar_t*), %d (int), %x (unsigned, lower-case hex) and %%.
std::wstring FormatText(const wchar_t* format, ...);
void Print(const wchar_t* format, ...);

}  // namespace CatalogDB
