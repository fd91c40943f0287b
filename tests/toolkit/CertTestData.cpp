#include "tests/toolkit/CertTestData.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

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

ScopedContext::ScopedContext(uint32_t flags) {
    EXPECT_EQ(ContextCreate(nullptr, nullptr, 0, &context_), kOk);
    context_->flags = flags;
}

OwnedCert::OwnedCert(const Bytes& der, ToolkitContext* context) {
    EXPECT_EQ(CertCreate(&cert, context), kOk);
    set = CertSetEncoding(cert, der.data(), static_cast<uint32_t>(der.size()));
}

Status OwnedCert::Encoding(uint32_t mode) {
    const uint8_t* der = nullptr;
    uint32_t length = 0;
    return CertGetEncoding(cert, mode, &der, &length);
}

CertFields OwnedCert::Fields() {
    CertFields fields{};
    EXPECT_EQ(CertGetFields(cert, &fields), kOk);
    return fields;
}

}  // namespace korva::toolkit::testing
