// The usage text of /? and of a command-line error.
#pragma once

namespace CatalogDB {

void PrintUsage();

}  // namespace CatalogDB
