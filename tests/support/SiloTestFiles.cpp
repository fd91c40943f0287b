#include "tests/support/SiloTestFiles.h"

#include <cstdint>
#include <vector>

#include "platform/Process.h"
#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "support/PathExpansion.h"
#include "support/SiloInfo.h"
#include "tests/common/TempFiles.h"

namespace korva::support::test {

namespace {

void ForgetSilo() {
    testing::ResetPathExpansionMap();
    testing::ResetSiloInfo();
}

}  // namespace

void WriteText(const std::filesystem::path& file, std::string_view text) {
    std::filesystem::create_directories(file.parent_path());
    test_support::WriteBytes(file.wstring(), std::vector<uint8_t>(text.begin(), text.end()));
}

std::string Utf16Ini(std::wstring_view text) { return "\xff\xfe" + platform::WideToUtf16Le(text); }

std::filesystem::path ExecutableDirectory() {
    std::wstring module;
    platform::QueryModulePath(module);
    return std::filesystem::path(module).parent_path();
}

IsolationIniBesideExecutable::IsolationIniBesideExecutable(std::string_view bytes)
    : file_(ExecutableDirectory() / "isolate.ini") {
    WriteText(file_, bytes);
    ForgetSilo();
}

IsolationIniBesideExecutable::~IsolationIniBesideExecutable() {
    std::error_code ignored;
    std::filesystem::remove(file_, ignored);
    ForgetSilo();
}

}  // namespace korva::support::test
