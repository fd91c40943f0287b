#include "SupportTestFiles.h"

#include <atomic>
#include <fstream>

#include "platform/Process.h"
#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "support/PathExpansion.h"
#include "support/SiloInfo.h"

namespace korva::support::test {

namespace {

void ForgetSilo() {
    testing::ResetPathExpansionMap();
    testing::ResetSiloInfo();
}

}  // namespace

TempDirectory::TempDirectory() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("korva-support-" + std::to_string(std::filesystem::file_time_type::clock::now().time_since_epoch().count()) +
             "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

TempDirectory::~TempDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Utf16Ini(std::wstring_view text) { return "\xff\xfe" + platform::WideToUtf16Le(text); }

std::filesystem::path ExecutableDirectory() {
    wchar_t module[platform::kMaxPath] = {};
    platform::QueryModuleFileName(module, platform::kMaxPath);
    return std::filesystem::path(module).parent_path();
}

IsolationIniBesideExecutable::IsolationIniBesideExecutable(std::string_view bytes)
    : file_(ExecutableDirectory() / "isolate.ini") {
    WriteBytes(file_, bytes);
    ForgetSilo();
}

IsolationIniBesideExecutable::~IsolationIniBesideExecutable() {
    std::error_code ignored;
    std::filesystem::remove(file_, ignored);
    ForgetSilo();
}

}  // namespace korva::support::test
