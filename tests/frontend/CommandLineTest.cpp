#include "frontend/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace CatalogDB {
namespace {

struct ParseCase {
    const char* name;
    std::vector<const wchar_t*> arguments;  // after the program name
    bool result;
    bool installer;
    bool producesOptions;
    const wchar_t* output;
};

struct Parsed {
    bool result = false;
    bool installer = false;
    std::unique_ptr<Options> options;
    std::wstring output;
};

Parsed Parse(const std::vector<const wchar_t*>& arguments) {
    std::vector<const wchar_t*> argv{L"KorvaCatalogDB"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Parsed parsed;
    testing::internal::CaptureStdout();
    parsed.result = ParseArguments(static_cast<int>(argv.size()), argv.data(), parsed.options, parsed.installer);
    std::string bytes = testing::internal::GetCapturedStdout();
    parsed.output.assign(bytes.begin(), bytes.end());  // every message is ASCII
    return parsed;
}

// Rows the end-to-end command-line cases (tests/e2e/frontend-cases.tsv) do not run.
const ParseCase kCases[] = {
    {"PathOnly", {L"/p", L"C:\\Out"}, true, false, true, L""},
    {"MissingRegistryPath", {L"/p", L"x", L"/r"}, false, false, false,
     L"Error: missing <registry path> after /r options\n"},
    {"MissingRegistryValue", {L"/v"}, false, false, false, L"Error: missing <registry value> after /v options\n"},
    {"EmptyRAndVCountAsAbsent", {L"/p", L"x", L"/r", L"", L"/v", L""}, true, false, true, L""},
    {"EveryInstallerWord", {L"/rollback"}, true, true, false,
     L"Encounter agrument /rollback. The application will exit without creating a catalog database.\n"},
    {"PrefixIsNotAMatch", {L"/patc"}, false, false, false, L"Error: Unrecognized argument\n"},
};

class ParseArgumentsTable : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseArgumentsTable, PrintsAndReturnsAsExpected) {
    const ParseCase& c = GetParam();
    Parsed parsed = Parse(c.arguments);
    EXPECT_EQ(parsed.result, c.result);
    EXPECT_EQ(parsed.installer, c.installer);
    EXPECT_EQ(parsed.options != nullptr, c.producesOptions);
    EXPECT_EQ(parsed.output, c.output);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, ParseArgumentsTable, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ParseCase>& param) { return std::string(param.param.name); });

// `/p X /c` gives the executable's directory end to end (current_directory).
TEST(ParseArguments, LastOfPathAndCurrentDirectoryWins) {
    EXPECT_EQ(Parse({L"/c", L"/p", L"C:\\Out"}).options->path, L"C:\\Out");
    EXPECT_EQ(Parse({L"/p", L"a", L"/p", L"b"}).options->path, L"b");
}

}  // namespace
}  // namespace CatalogDB
