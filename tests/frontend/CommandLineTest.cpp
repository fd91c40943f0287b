#include "frontend/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/Types.h"

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

TEST(ParseArguments, DefaultCheckOverridesRegistryOptions) {
    Parsed parsed = Parse({L"/d", L"/r", L"Key", L"/p", L"out"});
    ASSERT_TRUE(parsed.result);
    ASSERT_TRUE(parsed.options);
    EXPECT_TRUE(parsed.options->registryKeyCheck);
    EXPECT_EQ(parsed.options->registryKey, L"ProductInfo");
    EXPECT_EQ(parsed.options->registryValue, L"PreprocessKorvaDB");
    EXPECT_FALSE(parsed.options->overrideBitnessCheck);
}

TEST(ParseArguments, RegistryKeyAndValueTogetherEnableTheCheck) {
    Parsed parsed = Parse({L"/n", L"/r", L"ProductInfo", L"/v", L"CatDB", L"/p", L"out"});
    ASSERT_TRUE(parsed.result);
    EXPECT_TRUE(parsed.options->overrideBitnessCheck);
    EXPECT_TRUE(parsed.options->registryKeyCheck);
    EXPECT_EQ(parsed.options->registryKey, L"ProductInfo");
    EXPECT_EQ(parsed.options->registryValue, L"CatDB");
    EXPECT_EQ(parsed.options->path, L"out");
}

TEST(ParseArguments, LastOfPathAndCurrentDirectoryWins) {
    std::wstring moduleDirectory;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(ResolveModuleDirectory(moduleDirectory));
    testing::internal::GetCapturedStdout();
    ASSERT_FALSE(moduleDirectory.empty());
    EXPECT_EQ(moduleDirectory.back(), korva::platform::kPathSeparator);

    EXPECT_EQ(Parse({L"/p", L"C:\\Out", L"/c"}).options->path, moduleDirectory);
    EXPECT_EQ(Parse({L"/c", L"/p", L"C:\\Out"}).options->path, L"C:\\Out");
    EXPECT_EQ(Parse({L"/p", L"a", L"/p", L"b"}).options->path, L"b");
}

TEST(ParseArguments, HelpPrintsTheWholeUsageAndFails) {
    Parsed parsed = Parse({L"/n", L"/?", L"/x"});
    EXPECT_FALSE(parsed.result);
    EXPECT_EQ(parsed.options, nullptr);
    EXPECT_EQ(parsed.output.rfind(L"File Usage: KorvaCatalogDB <options>\n", 0), 0u);
    EXPECT_NE(parsed.output.find(L"        - both options must be specified \n"), std::wstring::npos);
    EXPECT_EQ(std::count(parsed.output.begin(), parsed.output.end(), L'\n'), 27);
    const std::wstring last =
        L"        - the database will be created if HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane\\<silo key>\\ProductInfo "
        L"has a DWORD value CatDB and its value is not zero\n";
    EXPECT_EQ(parsed.output.substr(parsed.output.size() - last.size()), last);
}

TEST(SetRegistryKeyCheck, RefusesMissingPieces) {
    Options options;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(SetRegistryKeyCheck(options, L"", L"v"));
    EXPECT_FALSE(SetRegistryKeyCheck(options, L"k", L""));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: Fail to set up registry key check. Missing key.\n"
              "Error: Fail to set up registry key check. Missing value.\n");
    EXPECT_FALSE(options.registryKeyCheck);
    EXPECT_TRUE(SetRegistryKeyCheck(options, L"k", L"v"));
    EXPECT_TRUE(options.registryKeyCheck);
}

}  // namespace
}  // namespace CatalogDB
