// Shared set-up of the CFile tests: a scratch directory and short ways to open
// a stream with the flags a case needs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/File.h"
#include "tests/common/TempFiles.h"

namespace TarnVerifyTrustDriver {

struct OpenFlags {
    bool create = false;
    bool openAlways = false;
    bool read = true;
    bool write = false;
    bool deleteOnClose = false;
};

class FileTest : public testing::Test {
protected:
    std::wstring Path(const wchar_t* name = L"data.bin") const { return directory_.File(name); }

    // Writes `bytes` to a fresh file and returns its path.
    std::wstring MakeFile(const std::vector<uint8_t>& bytes, const wchar_t* name = L"data.bin") const {
        std::wstring path = Path(name);
        korva::test_support::WriteBytes(path, bytes);
        return path;
    }

    static bool Open(CFile& file, const std::wstring& path, OpenFlags flags, uint32_t* error = nullptr) {
        CFileIO::COpenParameters parameters(path.c_str());
        parameters.create = flags.create;
        parameters.openAlways = flags.openAlways;
        parameters.read = flags.read;
        parameters.write = flags.write;
        parameters.deleteOnClose = flags.deleteOnClose;
        uint32_t ignored = 0;
        return file.Open(parameters, error != nullptr ? *error : ignored);
    }

    static bool OpenForReading(CFile& file, const std::wstring& path, bool buffered) {
        return Open(file, path, {}) && (!buffered || file.AttachReadBuffer());
    }

    static std::vector<uint8_t> ReadBack(const std::wstring& path) { return korva::test_support::ReadFile(path); }

private:
    korva::test_support::TempDirectory directory_;
};

}  // namespace TarnVerifyTrustDriver
