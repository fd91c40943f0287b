// Files the support library's tests need: ini text in either encoding, and
// an isolate.ini beside the test executable, where the silo search starts.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace korva::support::test {

// Writes `text` byte for byte, creating the file's directory first.
void WriteText(const std::filesystem::path& file, std::string_view text);
// FF FE followed by the text as UTF-16LE.
std::string Utf16Ini(std::wstring_view text);
std::filesystem::path ExecutableDirectory();

// Writes isolate.ini beside the test executable and removes it again; the
// silo information and the expansion map are forgotten on both sides so that
// each test loads its own.
class IsolationIniBesideExecutable {
public:
    explicit IsolationIniBesideExecutable(std::string_view bytes);
    ~IsolationIniBesideExecutable();
    IsolationIniBesideExecutable(const IsolationIniBesideExecutable&) = delete;
    IsolationIniBesideExecutable& operator=(const IsolationIniBesideExecutable&) = delete;

private:
    std::filesystem::path file_;
};

}  // namespace korva::support::test
