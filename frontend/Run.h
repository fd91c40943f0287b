// The run sequence: banner, pre-checks, and one update of the catalog database.
#pragma once

#include "frontend/Options.h"

namespace CatalogDB {

bool Run(const Options& options);

// The process entry: hint line, parsing, run; the exit code (0 or 1).
int EntryPoint(int argc, const wchar_t* const* argv);

}  // namespace CatalogDB
