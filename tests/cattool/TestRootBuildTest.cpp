// build --trust-test-root: a catalog signed under a generated test root is
// kept only when that root is given, and the tool says it was needed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "tests/cattool/ToolRun.h"
#include "tools/catgen/Catalog.h"

namespace korva::cattool {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const catgen::Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

TEST(TestRootBuildTest, KeepsATestSignedCatalogOnlyWithItsRootAndSaysSo) {
    catgen::SetKeyBits(1024);
    const catgen::Identity root = catgen::TestRoot("test-root", "Korva Tool Test Root");
    catgen::CatalogOptions options;
    options.trustList.members = catgen::SyntheticMembers(2, catgen::MemberHash::kSha1);
    const catgen::Catalog catalog = catgen::BuildCatalog(options, catgen::BuildChain(root, {}), nullptr);

    const fs::path base = fs::temp_directory_path() / ("korva-testroot-" + std::to_string(::getpid()));
    const fs::path catalogs = base / "System32" / "CatRoot" / "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";
    fs::create_directories(catalogs);
    Write(catalogs / "test_signed.cat", catalog.der);
    Write(base / "root.der", catgen::CertificateDer(root.cert));
    ::setenv("KORVA_SYSTEM_DIR", (base / "System32").c_str(), 1);

    struct Case {
        std::vector<std::wstring> build;
        bool kept;
    };
    const Case cases[] = {
        {{L"build", (base / "plain").wstring()}, false},
        {{L"build", L"--trust-test-root", (base / "root.der").wstring(), (base / "trusting").wstring()}, true},
    };
    for (const Case& c : cases) {
        fs::create_directories(c.build.back());
        const ToolRun built = RunToolWith(c.build);
        ASSERT_EQ(built.code, 0) << built.err;
        EXPECT_EQ(built.out.find("A TEST ROOT WAS USED: 1 catalog(s)") != std::string::npos, c.kept) << built.out;
        const ToolRun dump = RunToolWith({L"dump", L"--json", (fs::path(c.build.back()) / "Cat.DB").wstring()});
        EXPECT_EQ(dump.out.find("/test_signed.cat\"") != std::string::npos, c.kept) << dump.out;
    }
    fs::remove_all(base);
}

}  // namespace
}  // namespace korva::cattool
