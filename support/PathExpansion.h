// %NAME% path tokens expanded through the silo's PathExpansionMap and the
// Windows special folders.
#pragma once

#include <string>

namespace korva::support {

// True on success. `out` always receives something: the expansion, or on
// failure the input after the backslash clean-up. Nothing throws.
bool ExpandPath(const wchar_t* input, std::wstring& out);

}  // namespace korva::support
