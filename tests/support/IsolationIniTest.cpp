#include "support/IsolationIni.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Registry.h"
#include "platform/Types.h"
#include "tests/support/SiloTestFiles.h"
#include "tests/common/TempFiles.h"

namespace korva::support {
namespace {

using test::WriteText;
using test_support::TempDirectory;

constexpr wchar_t kDefaultBase[] = L"Software\\Tarnwick\\Isolation";

std::wstring Read(const std::filesystem::path& ini, const wchar_t* key, uint32_t size = 64,
                  const wchar_t* fallback = L"dflt") {
    std::wstring buffer(size, L'#');
    uint32_t length = ReadIsolationIniString(key, fallback, buffer.data(), size, ini.wstring().c_str());
    EXPECT_EQ(buffer[length], L'\0');
    return buffer.substr(0, length);
}

TEST(IsolationIni, ReadsBothEncodingsAndFallsBackToTheDefault) {
    TempDirectory dir;
    WriteText(dir.path() / "a.ini", "[isolation]\r\nsilo={A}\r\nempty=\r\n");
    WriteText(dir.path() / "w.ini", test::Utf16Ini(L"[Isolation]\r\nsilo = {W}\r\n"));
    EXPECT_EQ(Read(dir.path() / "a.ini", L"silo"), L"{A}");
    EXPECT_EQ(Read(dir.path() / "w.ini", L"SILO"), L"{W}");
    EXPECT_EQ(Read(dir.path() / "a.ini", L"empty"), L"dflt");
    EXPECT_EQ(Read(dir.path() / "a.ini", L"absent"), L"dflt");
    EXPECT_EQ(Read(dir.path() / "missing.ini", L"silo"), L"dflt");
    EXPECT_EQ(Read(dir.path(), L"silo"), L"dflt") << "a directory cannot be read";
    EXPECT_EQ(Read(dir.path() / "a.ini", L"silo", 3), L"{A");
    EXPECT_EQ(Read(dir.path() / "a.ini", L"absent", 3), L"df");
    EXPECT_EQ(Read(dir.path() / "a.ini", L"absent", 64, nullptr), L"");

    wchar_t untouched = L'#';
    EXPECT_EQ(ReadIsolationIniString(L"silo", L"x", &untouched, 0, L"a.ini"), 0u);
    EXPECT_EQ(untouched, L'#');
    EXPECT_EQ(ReadIsolationIniString(L"silo", L"x", nullptr, 10, L"a.ini"), 0u);
}

// Each row adds its isolate.ini: a sibling's is not found, the nearest ancestor's is,
// also beside a module deeper than MAX_PATH (only Windows keeps the executable within it).
TEST(IsolationIni, SearchStartsBesideTheModuleAndClimbsAncestorsOnly) {
    TempDirectory dir;
    const std::filesystem::path module = dir.path() / "a" / "b" / "tool.exe";
    std::filesystem::path deep = dir.path();
    for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
    const struct { std::filesystem::path ini, module, found; /* found empty: none */ } cases[] = {
        {dir.path() / "a" / "sibling" / "isolate.ini", module, {}},
        {dir.path() / "isolate.ini", module, dir.path() / "isolate.ini"},
        {dir.path() / "a" / "b" / "isolate.ini", module, dir.path() / "a" / "b" / "isolate.ini"},
#ifndef _WIN32
        {deep / "isolate.ini", deep / "tool", deep / "isolate.ini"},
#endif
    };
    for (const auto& c : cases) {
        WriteText(c.ini, "");
        std::filesystem::create_directories(c.module.parent_path());
        std::wstring found;
        EXPECT_EQ(FindIsolationIniFrom(c.module.wstring().c_str(), found),
                  c.found.empty() ? platform::kErrorFileNotFound : platform::kErrorSuccess) << c.ini;
        EXPECT_EQ(c.found.empty() ? std::filesystem::path() : std::filesystem::path(found), c.found);
    }
}

TEST(IsolationIni, SearchStopsAtAUncServer) {
    std::wstring found;
#ifdef _WIN32
    const wchar_t* module = L"\\\\korva-no-such-server\\share\\tool.exe";
#else
    const wchar_t* module = L"//korva-no-such-server/share/tool.exe";
#endif
    EXPECT_EQ(FindIsolationIniFrom(module, found), platform::kErrorFileNotFound);
    EXPECT_EQ(FindIsolationIniFrom(nullptr, found), platform::kErrorInvalidParameter);
}

TEST(IsolationIni, RegistryBaseComesFromReghiveWithinItsLimit) {
    TempDirectory dir;
    wchar_t base[kRegistryBaseSize] = {};
    WriteText(dir.path() / "custom.ini", "[isolation]\r\nreghive=Software\\Acme\\Silos\r\n");
    EXPECT_EQ(GetIsolationRegistryBase(base, (dir.path() / "custom.ini").wstring().c_str()), 0u);
    EXPECT_STREQ(base, L"Software\\Acme\\Silos");

    WriteText(dir.path() / "none.ini", "[isolation]\r\n");
    EXPECT_EQ(GetIsolationRegistryBase(base, (dir.path() / "none.ini").wstring().c_str()), 0u);
    EXPECT_STREQ(base, kDefaultBase);

    std::string longest(kRegistryBaseSize - 2, 'k');
    WriteText(dir.path() / "98.ini", "[isolation]\r\nreghive=" + longest + "\r\n");
    EXPECT_EQ(GetIsolationRegistryBase(base, (dir.path() / "98.ini").wstring().c_str()), 0u);
    WriteText(dir.path() / "99.ini", "[isolation]\r\nreghive=" + longest + "k\r\n");
    EXPECT_EQ(GetIsolationRegistryBase(base, (dir.path() / "99.ini").wstring().c_str()),
              platform::kErrorInsufficientBuffer);
    EXPECT_EQ(GetIsolationRegistryBase(nullptr, nullptr), platform::kErrorInvalidParameter);
}

TEST(IsolationIni, OnlyNative64EqualToOneSelectsTheNativeView) {
    TempDirectory dir;
    // 1, 0, 10 and 1x run end to end (tests/e2e/frontend-cases.tsv).
    const std::pair<const char*, uint32_t> cases[] = {{"Native64 = 1 ", 0}, {"", platform::kKeyWow64_32Key}};
    for (const auto& [line, flags] : cases) {
        WriteText(dir.path() / "v.ini", std::string("[isolation]\r\n") + line + "\r\n");
        EXPECT_EQ(ReadIsolationViewFlags((dir.path() / "v.ini").wstring().c_str()), flags) << line;
    }
    EXPECT_EQ(ReadIsolationViewFlags((dir.path() / "missing.ini").wstring().c_str()), platform::kKeyWow64_32Key);
}

}  // namespace
}  // namespace korva::support
