// A mounted Windows volume spells its folders as it likes: below the system
// directory the POSIX host finds them whatever the case.
#include "platform/posix/HostPath.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Files.h"
#include "platform/TextConversion.h"
#include "tests/common/TempFiles.h"

namespace korva::platform {
namespace {

using test_support::TempDirectory;
using test_support::WriteBytes;

class SystemDirectory {
public:
    explicit SystemDirectory(const std::filesystem::path& path) { ::setenv("KORVA_SYSTEM_DIR", path.c_str(), 1); }
    ~SystemDirectory() { ::unsetenv("KORVA_SYSTEM_DIR"); }
};

TEST(HostPath, ComponentsBelowTheSystemDirectoryIgnoreAsciiCase) {
    TempDirectory dir;
    const std::filesystem::path system = dir.path() / "System32";
    const std::filesystem::path mounted = system / "catroot" / "{f750e6c3-38ee-11d1-85e5-00c04fc295ee}" / "a.cat";
    std::filesystem::create_directories(mounted.parent_path());
    WriteBytes(mounted.wstring(), {7});
    WriteBytes((dir.path() / "outside.cat").wstring(), {1});
    SystemDirectory systemDirectory(system.string() + "/");

    struct Case {
        std::filesystem::path asked;
        std::filesystem::path found;
    };
    const Case cases[] = {
        {system / "CatRoot" / "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}" / "A.CAT", mounted},
        {mounted, mounted},
        // A missing component ends the lookup; the rest stays as asked.
        {system / "CATROOT" / "Missing" / "X.cat", system / "catroot" / "Missing" / "X.cat"},
        // Above the system directory nothing is folded.
        {dir.path() / "OUTSIDE.CAT", dir.path() / "OUTSIDE.CAT"},
        {dir.path() / "System32x" / "CatRoot", dir.path() / "System32x" / "CatRoot"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked.string());
        EXPECT_EQ(HostPath(c.asked.wstring().c_str()), c.found.string());
    }
    const std::wstring asked = (system / "CATROOT" / "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}" / "A.cat").wstring();
    EXPECT_EQ(QueryFileAttributes(asked.c_str()), kFileAttributeArchive);
    FileHandle handle = OpenFile(asked.c_str(), kGenericRead, kFileShareRead, kOpenExisting, kFileAttributeNormal);
    ASSERT_NE(handle, InvalidFileHandle());
    EXPECT_TRUE(CloseFile(handle));
}

}  // namespace
}  // namespace korva::platform
