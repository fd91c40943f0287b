// The same cases run against shlwapi on Windows and against our own rules on
// POSIX, written with '\' and translated to the host's separator.
#include "platform/PathOps.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace korva::platform {
namespace {

std::wstring Host(std::wstring path) {
    for (wchar_t& c : path) {
        if (c == L'\\') c = kPathSeparator;
    }
#ifdef _WIN32
    return path;
#else
    // A drive letter has no POSIX counterpart: "C:\x" is "/x" there.
    if (path.size() >= 2 && path[1] == L':') path.erase(0, 2);
    return path;
#endif
}

struct RemoveCase {
    const wchar_t* input;
    bool removed;
    const wchar_t* result;
};

TEST(PathOps, RemoveFileSpecWalksUpToTheRoot) {
    const RemoveCase cases[] = {
        {L"C:\\a\\b\\tool.exe", true, L"C:\\a\\b"},
        {L"C:\\a", true, L"C:\\"},
        {L"C:\\", false, L"C:\\"},
    };
    for (const RemoveCase& c : cases) {
        wchar_t buffer[kMaxPath] = {};
        std::wstring input = Host(c.input);
        std::wcsncpy(buffer, input.c_str(), kMaxPath - 1);
        EXPECT_EQ(RemoveFileSpec(buffer), c.removed) << std::wstring(c.input).size();
        EXPECT_EQ(std::wstring(buffer), Host(c.result));
    }
}

TEST(PathOps, AppendAddsOneSeparator) {
    wchar_t buffer[kMaxPath] = {};
    std::wstring base = Host(L"C:\\dir");
    std::wcsncpy(buffer, base.c_str(), kMaxPath - 1);
    ASSERT_TRUE(AppendPath(buffer, L"isolate.ini"));
    EXPECT_EQ(std::wstring(buffer), Host(L"C:\\dir\\isolate.ini"));

    std::wstring root = Host(L"C:\\");
    std::wcsncpy(buffer, root.c_str(), kMaxPath - 1);
    ASSERT_TRUE(AppendPath(buffer, L"isolate.ini"));
    EXPECT_EQ(std::wstring(buffer), Host(L"C:\\isolate.ini"));
}

TEST(PathOps, AppendRefusesToOverflowTheBuffer) {
    wchar_t buffer[kMaxPath] = {};
    std::wstring longPath = Host(L"C:\\") + std::wstring(kMaxPath - 10, L'a');
    std::wcsncpy(buffer, longPath.c_str(), kMaxPath - 1);
    EXPECT_FALSE(AppendPath(buffer, L"isolate.ini"));
}

TEST(PathOps, UncServerHasNoSharePart) {
    EXPECT_TRUE(IsUncServer(Host(L"\\\\server").c_str()));
    EXPECT_FALSE(IsUncServer(Host(L"\\\\server\\share").c_str()));
    EXPECT_FALSE(IsUncServer(Host(L"C:\\server").c_str()));
}

TEST(PathOps, JoinUsesTheHostSeparator) {
    EXPECT_EQ(JoinPath(L"a", L"b"), std::wstring(L"a") + kPathSeparator + L"b");
}

}  // namespace
}  // namespace korva::platform
