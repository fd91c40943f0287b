// The silo information as the front end sees it: loaded once from the
// isolate.ini beside the executable.
#include "support/SiloInfo.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/Registry.h"
#include "tests/support/SiloTestFiles.h"

namespace korva::support {
namespace {

using test::IsolationIniBesideExecutable;

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
