// %NAME% expansion against registry fixtures (POSIX host registry).
#include "support/PathExpansion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/RegistryFixture.h"
#include "platform/TextConversion.h"
#include "platform/Trace.h"
#include "platform/TraceRecorder.h"
#include "tests/support/SiloTestFiles.h"

namespace korva::support {
namespace {

using trace::Level;
using trace::Source;

constexpr char kSiloKey[] = "[HKEY_LOCAL_MACHINE\\Software\\Tarnwick\\Isolation\\{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}";
constexpr char kMapKey[] = "\\Shared Kit\\PathExpansionMap";
const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string Map(const std::string& values) { return kHeader + kSiloKey + kMapKey + "]\r\n" + values; }

const std::string kRegistry = Map(
    "\"TARNDRIVERS64\"=\"/opt/tarn/drivers\"\r\n"
    "\"A\"=\"C:\\\\X\\\\\"\r\n"
    "\"B\"=\"Y\"\r\n"
    "\"Nested\"=\"%B%\\\\sub\"\r\n"
    "\"Twice\"=\"%B%-%B%\"\r\n"
    "\"Recased\"=\"%b%%B%\"\r\n"
    "\"Self\"=\"%Self%\"\r\n"
    "\"PingA\"=\"%PingB%\"\r\n"
    "\"PingB\"=\"%PingA%\"\r\n"
    "\"Unc\"=\"\\\\\\\\server\\\\share\\\\\"\r\n"
    "\"Host\"=\"/opt/tarn/\"\r\n"
    "\"Expand\"=hex(2):25,00,42,00,25,00,00,00\r\n"
    "\"NotText\"=dword:00000001\r\n") +
    kSiloKey + kMapKey + "\\Drivers]\r\n\"Path64\"=\"D:\\\\drv\"\r\n" +
    kSiloKey + kMapKey + "\\NoPath]\r\n\"Path32\"=\"x\"\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\r\n"
    "\"ProgramFilesDir\"=\"C:\\\\Program Files\"\r\n";

const std::string kNativeIni = "[isolation]\r\nsilo={0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}\r\nNative64=1\r\n";

// Sets an environment variable for one test.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) previous_ = old;
        if (value != nullptr) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~ScopedEnvironment() {
        if (previous_) ::setenv(name_, previous_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> previous_;
};

struct ExpansionCase {
    const wchar_t* input;
    bool ok;
    const wchar_t* out;  // nullptr: not compared
    std::vector<uint32_t> errors;
};

class PathExpansion : public ::testing::Test {
protected:
    void Use(const std::string& ini, const std::string& registry) {
        ini_.reset();
        ini_.emplace(ini);
        ASSERT_TRUE(platform::testing::LoadRegistryFixture(registry).ok());
    }
    void SetUp() override { Use(kNativeIni, kRegistry); }
    void TearDown() override { ini_.reset(); }

    // The error-level events in order: a failure ends with exactly one of its own,
    // after any that the lookups it made on the way report.
    std::vector<uint32_t> Errors() const {
        std::vector<uint32_t> numbers;
        for (const auto& event : recorder_.events()) {
            if (event.level == Level::Error) numbers.push_back(event.number);
        }
        return numbers;
    }

    // Expands `c.input`, checks the outcome and the error events.
    void Check(const ExpansionCase& c) {
        recorder_.Clear();
        std::wstring out = L"stale";
        std::string name = c.input != nullptr ? platform::WideToUtf8(c.input) : "null";
        EXPECT_EQ(ExpandPath(c.input, out), c.ok) << name;
        if (c.out != nullptr) {
            EXPECT_EQ(out, c.out) << name;
        }
        EXPECT_EQ(Errors(), c.errors) << name;
    }

    trace::Recorder recorder_;
    std::optional<test::IsolationIniBesideExecutable> ini_;
};

TEST_F(PathExpansion, ExpandsAgainstTheSilosMap) {
    const ExpansionCase cases[] = {
        // Token syntax errors leave the input.
        {L"x%%", false, L"x%%", {23}},
        {L"abc%", false, L"abc%", {21}},
        {L"%abc", false, L"%abc", {22}},
        {L"a%b%c%", false, L"a%b%c%", {21}},
        {L"a%zz%c", false, L"a%zz%c", {25}},
        // Short inputs and plain text pass through.
        {L"", true, L"", {}},
        {L"a", true, L"a", {}},
        {L"%%", true, L"%%", {}},
        {L"%a", true, L"%a", {}},
        {L"\\\\", true, L"\\\\", {}},
        {L"C:\\plain\\\\path", true, L"C:\\plain\\path", {}},
        // Joined values lose their doubled separators, host ones as well on POSIX.
        {L"%A%\\%B%", true, L"C:\\X\\Y", {}},
        {L"%Unc%\\dir", true, L"\\\\server\\share\\dir", {}},
        {L"%Host%/drivers", true, L"/opt/tarn/drivers", {}},
        {L"//host//share///x", true, L"//host/share/x", {}},
        // Values may hold further tokens; one name used twice in one value is
        // one expansion; REG_EXPAND_SZ data is taken as stored; names compare without case.
        {L"%Nested%", true, L"Y\\sub", {}},
        {L"%Twice%", true, L"Y-Y", {}},
        {L"%Expand%", true, L"Y", {}},
        {L"%TarnDrivers64%\\%b%", true, L"/opt/tarn/drivers\\Y", {}},
        // Names met twice fail instead of looping; the input comes back cleaned up.
        {L"%Self%", false, nullptr, {24}},
        {L"x\\%PingA%\\\\y", false, L"x\\%PingA%\\y", {24}},
        {L"%Recased%", false, nullptr, {24}},
        // Unresolved names fail; a DWORD is no path.
        {L"%TARNDRIVERS32%\\\\x", false, L"%TARNDRIVERS32%\\x", {25}},
        {L"%NotText%", false, nullptr, {25}},
        // Subkeys answer with their Path64.
        {L"%drivers%\\x", true, L"D:\\drv\\x", {}},
        {L"%NoPath%", false, nullptr, {25}},
    };
    for (const ExpansionCase& c : cases) Check(c);
}

// Special folders come from the host (KORVA_CSIDL_<number> here), silo data
// folders add the map's extension, reported when missing, and the silo; a
// 32-bit silo's map is below Wow6432Node. Each row sets its environment,
// isolate.ini and registry.
TEST_F(PathExpansion, ExpandsHostFoldersWithItsOwnSiloAndRegistry) {
    const std::string map32 = std::string("[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Tarnwick\\Isolation\\") +
                              "{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}" + kMapKey;
    const std::string wow = kHeader + map32 + "]\r\n\"B\"=\"32\"\r\n" + map32 + "\\Drivers]\r\n\"Path64\"=\"D32\"\r\n";
    const wchar_t* nested = L"/home/u/.local/share/var/lib/Tarnwick/{0f1e2d3c-4b5a-6978-8796-a5b4c3/"
                            L"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}";
    const std::string ini32 = "[isolation]\r\nsilo={0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}\r\n";
    struct Case {
        std::vector<std::pair<const char*, const char*>> environment;  // a null value: unset
        std::optional<std::string> ini;
        std::string registry;
        ExpansionCase expansion;
    };
    const Case cases[] = {
        {{{"KORVA_CSIDL_37", "/mnt/windows/System32"}}, kNativeIni, kRegistry,
         {L"%CSIDL_SYSTEM%/drivers", true, L"/mnt/windows/System32/drivers", {}}},
        {{}, kNativeIni, kRegistry, {L"%CSIDL_PROGRAM_FILESX64%", true, L"C:\\Program Files", {}}},
        {{{"KORVA_CSIDL_20", nullptr}}, kNativeIni, kRegistry, {L"%csidl_fonts%", false, nullptr, {20, 25}}},
        {{}, kNativeIni, kRegistry, {L"%CSIDL_PROGRAM_FILES_COMMONX64%", false, nullptr, {18, 25}}},
        {{}, kNativeIni, Map(""), {L"%CSIDL_PROGRAM_FILESX64%", false, nullptr, {17, 25}}},
        {{{"KORVA_CSIDL_35", "/var/lib"}}, kNativeIni, kRegistry,
         {L"%COMMON_SILO_DATA%", true, L"/var/lib/Tarnwick/{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}", {25}}},
        {{{"KORVA_CSIDL_28", "/home/u/.local/share"}}, kNativeIni, Map("\"APPDATAEXTENSION\"=\"Acme\"\r\n"),
         {L"%LOCAL_SILO_DATA%/x", true, L"/home/u/.local/share/Acme/{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}/x", {}}},
        // An extension leading back to a silo data folder ends after one level,
        // cut where the extension's buffer ends.
        {{{"KORVA_CSIDL_28", "/home/u/.local/share"}, {"KORVA_CSIDL_35", "/var/lib"}}, kNativeIni,
         Map("\"APPDATAEXTENSION\"=\"%COMMON_SILO_DATA%\"\r\n"), {L"%LOCAL_SILO_DATA%", true, nested, {}}},
        {{{"KORVA_CSIDL_28", nullptr}, {"HOME", nullptr}}, kNativeIni, kRegistry,
         {L"%LOCAL_SILO_DATA%", false, nullptr, {25, 19, 25}}},
        // A subkey opened below the redirected map stays in the 32-bit view.
        {{}, ini32, wow, {L"%B%\\%drivers%", true, L"32\\D32", {}}},
        {{}, kNativeIni, wow, {L"%B%", false, L"%B%", {12}}},
        {{}, kNativeIni, kHeader, {L"ab", false, L"ab", {12}}},  // the map is needed even for short input
        {{}, std::nullopt, kRegistry, {L"%B%", false, nullptr, {11, 11}}},
        {{}, kNativeIni, kRegistry, {nullptr, false, L"", {26}}},
    };
    for (const Case& c : cases) {
        std::deque<ScopedEnvironment> environment;
        for (const auto& [name, value] : c.environment) environment.emplace_back(name, value);
        Use(c.ini.value_or(""), c.registry);
        if (!c.ini) ini_.reset();
        Check(c.expansion);
        if (!c.ini) {
            EXPECT_TRUE(recorder_.Has(Source::Silo, 11)) << "the silo says why";
        }
    }
}

TEST_F(PathExpansion, TheSampleConfigurationNamesTheSilosLocalDataFolder) {
    std::ifstream iniFile(KORVA_SAMPLE_DIR "/isolate.ini", std::ios::binary);
    std::stringstream ini;
    ini << iniFile.rdbuf();
    ini_.reset();
    ini_.emplace(ini.str());
    std::wstring registry = platform::Utf8ToWide(KORVA_SAMPLE_DIR "/registry.reg");
    ASSERT_TRUE(platform::testing::LoadRegistryFixtureFile(registry.c_str()).ok());
    ScopedEnvironment local("KORVA_CSIDL_28", "/srv/korva");
    Check({L"%TARNDRIVERS64%", true, L"/srv/korva/Tarnwick/{6F1D2A3B-4C5D-4E6F-8A9B-0C1D2E3F4A5B}", {25}});
}

}  // namespace
}  // namespace korva::support
