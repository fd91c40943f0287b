// Turning the argument vector into Options.
#pragma once

#include <memory>
#include <string>

#include "frontend/Options.h"

namespace CatalogDB {

// True when the run may proceed, or, with `installerArgument` set, when the
// tool stops without an error. `options` is replaced only when parsing got far
// enough to build one.
bool ParseArguments(int argc, const wchar_t* const* argv, std::unique_ptr<Options>& options, bool& installerArgument);

bool SetRegistryKeyCheck(Options& options, const std::wstring& key, const std::wstring& value);

// The directory of the program's executable, ending with a separator.
bool ResolveModuleDirectory(std::wstring& directory);

}  // namespace CatalogDB
