#include "tests/toolkit/CertTestData.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace korva::toolkit::testing {

std::vector<TestCert> LoadSharedFiles(const std::string& directory, const std::string& extension) {
    std::vector<TestCert> files;
    std::error_code error;
    const std::filesystem::path root = std::filesystem::path(KORVA_SHARED_DIR) / directory;
    for (const auto& entry : std::filesystem::directory_iterator(root, error)) {
        if (entry.path().extension() != extension) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files.push_back({entry.path().filename().string(), Bytes(std::istreambuf_iterator<char>(in), {})});
    }
    std::sort(files.begin(), files.end(), [](const TestCert& a, const TestCert& b) { return a.origin < b.origin; });
    return files;
}

std::vector<TestCert> LoadRootCerts() {
    return LoadSharedFiles("roots", ".der");
}

}  // namespace korva::toolkit::testing
