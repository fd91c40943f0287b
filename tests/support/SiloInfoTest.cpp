// The silo information as the front end sees it: loaded once from the
// isolate.ini beside the executable.
#include "support/SiloInfo.h"

#include <gtest/gtest.h>

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

TEST(SiloInfo, UnavailableWithoutIsolationIni) {
    testing::ResetSiloInfo();
    EXPECT_FALSE(InitSiloInfo());
    EXPECT_EQ(GetSiloId(), nullptr);
    EXPECT_EQ(GetSiloRegistryPath(), nullptr);
    EXPECT_EQ(GetSiloRegistryViewFlags(), 0u);
}

TEST(SiloInfo, LoadsIdPathAndViewFromTheIniBesideTheExecutable) {
    IsolationIniBesideExecutable ini(test::Utf16Ini(L"[isolation]\r\nsilo = {0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}\r\n"
                                                    L"reghive=Software\\Acme\r\nNative64=1\r\n"));
    ASSERT_TRUE(InitSiloInfo());
    ASSERT_NE(GetSiloId(), nullptr);
    EXPECT_EQ(*GetSiloId(), L"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}");
    EXPECT_EQ(*GetSiloRegistryPath(), L"Software\\Acme\\{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}");
    EXPECT_EQ(GetSiloRegistryViewFlags(), 0u);
}

TEST(SiloInfo, DefaultsToTheTarnwickBaseAndThe32BitView) {
    IsolationIniBesideExecutable ini(Ini(kGuid));
    ASSERT_TRUE(InitSiloInfo());
    EXPECT_EQ(*GetSiloRegistryPath(), std::wstring(L"Software\\Tarnwick\\Isolation\\") +
                                          L"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}");
    EXPECT_EQ(GetSiloRegistryViewFlags(), platform::kKeyWow64_32Key);
}

TEST(SiloInfo, IsLoadedOnceAndKeptWhenTheFileGoes) {
    {
        IsolationIniBesideExecutable ini(Ini(kGuid));
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

TEST(SiloInfo, AFailedLoadIsTriedAgain) {
    IsolationIniBesideExecutable ini(Ini("not-a-guid"));
    EXPECT_FALSE(InitSiloInfo());
    test::WriteText(test::ExecutableDirectory() / "isolate.ini", Ini(kGuid));
    EXPECT_TRUE(InitSiloInfo());
}

TEST(SiloInfo, AcceptsOnlyRegistryFormGuids) {
    const std::pair<const char*, bool> cases[] = {
        {"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}", true},
        {"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", false},
        {"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f}", false},    // 37 characters
        {"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f00}", false},  // 39: counts as truncated
        {"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f000}", false}, // 40: cut to 39
        {"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1g0}", false},
        {"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f-}", false},
        {"{0f1e2d3c04b5a-6978-8796-a5b4c3d2e1f0}", false},
        {"", false},
    };
    for (const auto& [silo, valid] : cases) {
        IsolationIniBesideExecutable ini(Ini(silo));
        EXPECT_EQ(InitSiloInfo(), valid) << silo;
    }
}

TEST(SiloInfo, TooLongARegistryBaseMakesTheSiloUnavailable) {
    IsolationIniBesideExecutable ini(Ini(kGuid, "reghive=" + std::string(99, 'k') + "\r\n"));
    EXPECT_FALSE(InitSiloInfo());
}

}  // namespace
}  // namespace korva::support
