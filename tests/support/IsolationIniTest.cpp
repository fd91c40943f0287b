// isolate.ini: its text in either encoding, the keys read from it, where it
// is searched for and the silo the front end loads from it.
#include "support/IsolationIni.h"
#include "support/IsolationIniText.h"
#include "support/SiloInfo.h"

#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <string>
#include <tuple>

#include "platform/Registry.h"
#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "tests/support/SiloTestFiles.h"
#include "tests/common/TempFiles.h"

namespace korva::support {
namespace {

using test::IsolationIniBesideExecutable;
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
    const std::string longest(kRegistryBaseSize - 2, 'k');
    const std::tuple<std::string, uint32_t, std::wstring> cases[] = {
        {"reghive=Software\\Acme\\Silos", platform::kErrorSuccess, L"Software\\Acme\\Silos"},
        {"", platform::kErrorSuccess, kDefaultBase},
        {"reghive=" + longest, platform::kErrorSuccess, std::wstring(longest.begin(), longest.end())},
        {"reghive=" + longest + "k", platform::kErrorInsufficientBuffer, L""},
    };
    for (const auto& [line, error, expected] : cases) {
        WriteText(dir.path() / "base.ini", "[isolation]\r\n" + line + "\r\n");
        wchar_t base[kRegistryBaseSize] = {};
        EXPECT_EQ(GetIsolationRegistryBase(base, (dir.path() / "base.ini").wstring().c_str()), error) << line;
        if (error == platform::kErrorSuccess) {
            EXPECT_EQ(std::wstring(base), expected);
        }
    }
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

std::wstring Decode(const std::string& bytes) {
    return DecodeIsolationIni(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(IsolationIniText, DecodesUtf16AfterTheByteOrderMarkUpToTheFirstNul) {
    std::string bytes = "\xff\xfe" + platform::WideToUtf16Le(L"[isolation]\r\nsilo=x");
    EXPECT_EQ(Decode(bytes), L"[isolation]\r\nsilo=x");
    EXPECT_EQ(Decode(bytes + std::string("\0\0tail", 6)), L"[isolation]\r\nsilo=x");
    EXPECT_EQ(Decode("\xff\xfe"), L"\u00ff\u00fe") << "two bytes are too few for UTF-16: multibyte, byte by byte";
}

TEST(IsolationIniText, DecodesMultibyteTextInTheCurrentLocale) {
    EXPECT_EQ(Decode(std::string("a=b\0c", 5)), L"a=b");
    EXPECT_EQ(Decode("\xe9"), L"\u00e9") << "an unconvertible byte stands for itself";
#ifndef _WIN32
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
        EXPECT_EQ(Decode("x=\xc3\xa9"), L"x=\u00e9");
        EXPECT_EQ(Decode("x=\xc3"), L"x=\u00c3") << "a cut sequence at the end";
    }
    std::setlocale(LC_CTYPE, saved.c_str());
#endif
}

struct Lookup {
    const wchar_t* text;
    const wchar_t* key;
    const wchar_t* expected;
};

TEST(IsolationIniText, FindsKeysWithTheReaderQuirks) {
    const Lookup cases[] = {
        {L"[isolation]\r\nsilo={A}\r\n", L"silo", L"{A}"},
        {L"[ISOLATION]\r\nSILO={A}", L"silo", L"{A}"},
        {L"  [isolation]  \r\n\t silo \t=\t {A} \t\r\n", L"silo", L"{A}"},
        {L"[isolation]\r\nsilo2={B}\r\nsilo={A}\r\n", L"silo", L"{B}"},
        {L"[isolation]\r\nsilo={A}=x\r\n", L"silo", L"{A}=x"},
        {L"[isolationX]\r\nsilo={A}\r\n", L"silo", L"{A}"},
        {L"[isolation ]\r\nsilo={A}\r\n", L"silo", L"{A}"},
        {L"[isolation]\r\n[other]\r\nreghive=Software\\X\r\n", L"reghive", L"Software\\X"},
        {L"[isolation]\r\n; silo={C}\r\n# silo={D}\r\n\r\nsilo={A}\r\n", L"silo", L"{A}"},
        {L"[isolation]\r\nsilo={A}\rrest\r\n", L"silo", L"{A}"},
        {L"[isolation]\r\nsilo\r\nsilo={A}\r\n", L"silo", L""},
        {L"[isolation]\r\nsilo=   \r\n", L"silo", L""},
        {L"silo={A}\r\n[isolation]\r\n", L"silo", L""},
        {L"[isolatio]\r\nsilo={A}\r\n", L"silo", L""},
        {L"[ isolation]\r\nsilo={A}\r\n", L"silo", L""},
        {L"[other]\r\nsilo={A}\r\n", L"silo", L""},
        {L"[isolation]\nsilo={A}\n", L"silo", L""},
        {L"", L"silo", L""},
    };
    for (const Lookup& c : cases) {
        EXPECT_EQ(FindIsolationIniValue(c.text, c.key), c.expected) << platform::WideToUtf8(c.text);
    }
}

// The silo information as the front end sees it: loaded once from the
// isolate.ini beside the executable.
constexpr char kGuid[] = "{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}";

std::string Ini(const std::string& silo, const std::string& more = "") {
    return "[isolation]\r\nsilo=" + silo + "\r\n" + more;
}

// Each row writes its isolate.ini (none for the first) and loads the silo.
TEST(SiloInfo, LoadsIdPathAndViewFromTheIniBesideTheExecutable) {
    struct Case {
        std::optional<std::string> ini;
        const wchar_t* path;  // the registry path; null: the silo is unavailable
        uint32_t viewFlags;
    };
    const std::wstring guid = L"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}";
    auto invalid = [](const char* silo) { return Case{Ini(silo), nullptr, 0}; };
    const Case cases[] = {
        {std::nullopt, nullptr, 0},
        {test::Utf16Ini(L"[isolation]\r\nsilo = " + guid + L"\r\nreghive=Software\\Acme\r\nNative64=1\r\n"),
         L"Software\\Acme\\{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}", 0},
        {Ini(kGuid), L"Software\\Tarnwick\\Isolation\\{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}", platform::kKeyWow64_32Key},
        {Ini("{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}"), L"Software\\Tarnwick\\Isolation\\{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}",
         platform::kKeyWow64_32Key},
        {Ini(kGuid, "reghive=" + std::string(99, 'k') + "\r\n"), nullptr, 0},  // too long a registry base
        invalid("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"),
        invalid("{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f}"),    // 37 characters
        invalid("{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f00}"),  // 39: counts as truncated
        invalid("{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f000}"), // 40: cut to 39
        invalid("{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1g0}"),
        invalid("{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f-}"),
        invalid("{0f1e2d3c04b5a-6978-8796-a5b4c3d2e1f0}"),
        invalid(""),
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini.value_or("no isolate.ini"));
        testing::ResetSiloInfo();
        std::optional<IsolationIniBesideExecutable> ini;
        if (c.ini) ini.emplace(*c.ini);
        ASSERT_EQ(InitSiloInfo(), c.path != nullptr);
        EXPECT_EQ(GetSiloRegistryViewFlags(), c.viewFlags);
        if (c.path == nullptr) {
            EXPECT_EQ(GetSiloId(), nullptr);
            EXPECT_EQ(GetSiloRegistryPath(), nullptr);
            continue;
        }
        EXPECT_EQ(*GetSiloRegistryPath(), c.path);
        EXPECT_EQ(*GetSiloId(), std::wstring(c.path).substr(std::wstring(c.path).rfind(L'\\') + 1));
    }
}

// A failed load is tried again; a successful one is kept, even when the file goes.
TEST(SiloInfo, IsLoadedOnceAndKeptWhenTheFileGoes) {
    {
        IsolationIniBesideExecutable ini(Ini("not-a-guid"));
        EXPECT_FALSE(InitSiloInfo());
        test::WriteText(test::ExecutableDirectory() / "isolate.ini", Ini(kGuid));
        ASSERT_TRUE(InitSiloInfo());
    }
    // The fixture forgets the silo on the way out; load it again, then remove
    // the file behind the cache's back.
    std::filesystem::path file = test::ExecutableDirectory() / "isolate.ini";
    test::WriteText(file, Ini("{11111111-2222-3333-4444-555555555555}"));
    ASSERT_TRUE(InitSiloInfo());
    std::filesystem::remove(file);
    ASSERT_TRUE(InitSiloInfo());
    EXPECT_EQ(*GetSiloId(), L"{11111111-2222-3333-4444-555555555555}");
    testing::ResetSiloInfo();
    EXPECT_FALSE(InitSiloInfo());
}

}  // namespace
}  // namespace korva::support
