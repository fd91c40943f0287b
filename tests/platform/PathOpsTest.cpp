// The same cases run against shlwapi on Windows and against our own rules on
// POSIX, written with '\' and translated to the host's separator.
#include "platform/PathOps.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

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

// RemoveFileSpec walks up to the root; AppendPath adds one separator; a UNC
// server is a name without a share.
TEST(PathOps, RemoveAppendAndUncServerFollowShlwapi) {
    const std::tuple<const wchar_t*, bool, const wchar_t*> removals[] = {
        {L"C:\\a\\b\\tool.exe", true, L"C:\\a\\b"}, {L"C:\\a", true, L"C:\\"}, {L"C:\\", false, L"C:\\"}};
    for (const auto& [input, removed, result] : removals) {
        std::wstring path = Host(input);
        EXPECT_EQ(RemoveFileSpec(path), removed) << input;
        EXPECT_EQ(path, Host(result));
    }
    for (const auto& [base, expected] :
         {std::pair{L"C:\\dir", L"C:\\dir\\isolate.ini"}, std::pair{L"C:\\", L"C:\\isolate.ini"}}) {
        std::wstring path = Host(base);
        ASSERT_TRUE(AppendPath(path, L"isolate.ini"));
        EXPECT_EQ(path, Host(expected));
    }
    EXPECT_TRUE(IsUncServer(Host(L"\\\\server").c_str()));
    EXPECT_FALSE(IsUncServer(Host(L"\\\\server\\share").c_str()));
    EXPECT_FALSE(IsUncServer(Host(L"C:\\server").c_str()));
    // shlwapi's buffer limit stays on Windows; the POSIX host has none.
    std::wstring path = Host(L"C:\\") + std::wstring(kMaxPath - 10, L'a');
#ifdef _WIN32
    EXPECT_FALSE(AppendPath(path, L"isolate.ini"));
#else
    ASSERT_TRUE(AppendPath(path, L"isolate.ini"));
    EXPECT_EQ(path.size(), kMaxPath - 10 + 1 + 1 + 11);
#endif
}

}  // namespace
}  // namespace korva::platform
