// The silo's PathExpansionMap key, opened once per process and kept open.
#pragma once

#include <string>

namespace korva::support {

// Opens the map on first use; false (with its trace event) when it cannot be.
bool OpenPathExpansionMap();

// `name` as a string value of the map, or as the "Path64" value of the map's
// subkey of that name. The map must be open.
bool ResolveFromPathExpansionMap(const std::wstring& name, std::wstring& value);

}  // namespace korva::support
