// A scratch directory per test, removed with everything in it afterwards, and
// whole-file helpers to set up and inspect what a test reads and writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/common/Bytes.h"

namespace korva::test_support {

class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The full path of `name` inside, as the engine takes paths.
    std::wstring File(std::wstring_view name) const;

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
using korva::test::ReadFile;
// Bytes 0, 1, 2, ... wrapping at 251, so that every offset is recognisable.
std::vector<uint8_t> PatternBytes(size_t size, size_t offset = 0);

}  // namespace korva::test_support
