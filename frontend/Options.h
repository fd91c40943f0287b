// The parsed command line.
#pragma once

#include <string>

namespace CatalogDB {

class Options {
public:
    Options() = default;
    Options(const Options&) = default;
    Options& operator=(const Options&) = default;
    virtual ~Options() = default;

    bool overrideBitnessCheck = false;  // /n
    bool registryKeyCheck = false;      // /d, or /r with /v
    std::wstring path;                  // where Cat.DB is created
    std::wstring registryKey;           // below the silo registry key
    std::wstring registryValue;         // DWORD value to check
};

}  // namespace CatalogDB
