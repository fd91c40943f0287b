// %NAME% path tokens expanded through the silo's PathExpansionMap and the
// Windows special folders.
#pragma once

#include <string>

namespace korva::support {

// True on success. `out` always receives something: the expansion, or on
// failure the input after the backslash clean-up. Nothing throws.
bool ExpandPath(const wchar_t* input, std::wstring& out);

namespace testing {
// Closes the PathExpansionMap key so that the next expansion opens it again
// (for a new silo or registry fixture). Tests only.
void ResetPathExpansionMap();
}  // namespace testing

}  // namespace korva::support
