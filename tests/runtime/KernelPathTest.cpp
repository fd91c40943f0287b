#include "runtime/KernelPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/Process.h"
#include "platform/Types.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace platform = korva::platform;

// Writes a host path with '/' in the table and the host's separator here.
std::wstring Host(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', platform::kPathSeparator);
    return path;
}

// Paths below the system directory get the kernel name and map back to the
// directory's own spelling; near misses are stored unchanged.
TEST(KernelPath, PathsBelowTheSystemDirectoryRoundTripAndOthersStayAsTheyAre) {
    const std::wstring system = Host(L"/Windows/System32/");
    struct Case {
        std::wstring system;
        std::wstring path;
        const wchar_t* kernel;  // null: stored unchanged
        const wchar_t* back;
    };
    const Case cases[] = {
        {system, Host(L"/WINDOWS/system32/CatRoot/x.cat"), L"\\SystemRoot\\SYSTEM32\\CatRoot\\x.cat",
         L"/Windows/System32/CatRoot/x.cat"},
        {system, Host(L"/Windows/System32/"), L"\\SystemRoot\\SYSTEM32\\", L"/Windows/System32/"},
        {system, Host(L"/Windows/System32Extra/x.cat")},  // begins with the name, not the directory
        {system, Host(L"/Windows/System32")},             // the directory without its separator
        {system, Host(L"/Other/Windows/System32/x.cat")},
        {system, L""},
        {L"C:\\Windows\\System32\\", L"D:\\Windows\\System32\\x.cat"},
        {Host(L"/W\u00EDndows/System32/"), Host(L"/W\u00CDNDOWS/System32/x.cat")},  // only ASCII ignores case
    };
    std::wstring back;
    for (const Case& c : cases) {
        std::wstring kernel = L"stale";
        ASSERT_TRUE(ToKernelPath(c.system, c.path, kernel));
        EXPECT_EQ(kernel, c.kernel != nullptr ? std::wstring(c.kernel) : c.path);
        if (c.kernel == nullptr) continue;
        ASSERT_TRUE(FromKernelPath(c.system, kernel, back));
        EXPECT_EQ(back, Host(c.back));
    }
    // Only the full kernel prefix is mapped back, in any case.
    ASSERT_TRUE(FromKernelPath(system, L"\\systemroot\\system32\\x.cat", back));
    EXPECT_EQ(back, Host(L"/Windows/System32/x.cat"));
    for (const wchar_t* name :
         {L"\\SystemRoot\\SYSTEM32", L"\\SystemRoot\\SYSTEM3\\x.cat", L"\\??\\C:\\x.cat", L"/elsewhere/x.cat"}) {
        ASSERT_TRUE(FromKernelPath(system, name, back));
        EXPECT_EQ(back, name);
    }
}

// The process's own system directory, looked up once and kept; the mapping
// without an explicit directory uses it.
TEST(KernelPath, SystemDirectoryOfTheProcess) {
#ifndef _WIN32
    setenv("KORVA_SYSTEM_DIR", "/mnt/windows/Windows/System32", 0);
#endif
    wchar_t raw[platform::kMaxPath] = {};
    uint32_t length = platform::QuerySystemDirectory(raw, platform::kMaxPath);
    ASSERT_GT(length, 0u);
    std::wstring expected(raw, length);
    if (expected.back() != platform::kPathSeparator) expected += platform::kPathSeparator;

    std::wstring directory;
    ASSERT_TRUE(GetSystemDirectoryPath(directory));
    EXPECT_EQ(directory, expected);
    std::wstring kernel;
    ASSERT_TRUE(ToKernelPath(directory + L"x.cat", kernel));
    EXPECT_EQ(kernel, L"\\SystemRoot\\SYSTEM32\\x.cat");

#ifndef _WIN32
    setenv("KORVA_SYSTEM_DIR", "/somewhere/else", 1);
    std::wstring again;
    ASSERT_TRUE(GetSystemDirectoryPath(again));
    EXPECT_EQ(again, directory);
#endif
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
