// The same cases run against shlwapi on Windows and against our own rules on
// POSIX, written with '\' and translated to the host's separator.
#include "platform/PathOps.h"

#include <gtest/gtest.h>

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
        std::wstring path = Host(c.input);
        EXPECT_EQ(RemoveFileSpec(path), c.removed) << c.input;
        EXPECT_EQ(path, Host(c.result));
    }
}

TEST(PathOps, AppendAddsOneSeparator) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"C:\\dir", L"C:\\dir\\isolate.ini"},
        {L"C:\\", L"C:\\isolate.ini"},
    };
    for (const auto& [base, expected] : cases) {
        std::wstring path = Host(base);
        ASSERT_TRUE(AppendPath(path, L"isolate.ini"));
        EXPECT_EQ(path, Host(expected));
    }
}

// shlwapi's buffer limit stays on Windows; the POSIX host has none.
TEST(PathOps, AppendBeyondMaxPathOnlyWhereTheHostAllows) {
    std::wstring path = Host(L"C:\\") + std::wstring(kMaxPath - 10, L'a');
#ifdef _WIN32
    EXPECT_FALSE(AppendPath(path, L"isolate.ini"));
#else
    ASSERT_TRUE(AppendPath(path, L"isolate.ini"));
    EXPECT_EQ(path.size(), kMaxPath - 10 + 1 + 1 + 11);
#endif
}

TEST(PathOps, UncServerHasNoSharePart) {
    EXPECT_TRUE(IsUncServer(Host(L"\\\\server").c_str()));
    EXPECT_FALSE(IsUncServer(Host(L"\\\\server\\share").c_str()));
    EXPECT_FALSE(IsUncServer(Host(L"C:\\server").c_str()));
}

}  // namespace
}  // namespace korva::platform
