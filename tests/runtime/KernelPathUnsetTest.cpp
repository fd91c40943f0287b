// Without a system directory nothing can be mapped, and each step says so; a
// failed lookup is not cached, so the directory counts once it is there.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "runtime/KernelPath.h"

namespace TarnVerifyTrustDriver {
namespace {

TEST(KernelPathUnset, EveryMappingFailsUntilTheDirectoryIsSet) {
    unsetenv("KORVA_SYSTEM_DIR");
    std::wstring out = L"untouched";
    EXPECT_FALSE(GetSystemDirectoryPath(out));
    EXPECT_FALSE(ToKernelPath(L"/x.cat", out));
    EXPECT_FALSE(FromKernelPath(L"\\SystemRoot\\SYSTEM32\\x.cat", out));
    EXPECT_EQ(out, L"untouched");

    setenv("KORVA_SYSTEM_DIR", "/mnt/windows/Windows/System32", 1);
    ASSERT_TRUE(GetSystemDirectoryPath(out));
    EXPECT_EQ(out, L"/mnt/windows/Windows/System32/");
    ASSERT_TRUE(FromKernelPath(L"\\SystemRoot\\SYSTEM32\\x.cat", out));
    EXPECT_EQ(out, L"/mnt/windows/Windows/System32/x.cat");
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
