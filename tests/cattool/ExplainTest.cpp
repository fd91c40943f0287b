// explain and build on the published catalogs: each gets the verdict and the
// reason class recorded for it, and a build keeps exactly the ones explain
// accepts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "tests/cattool/ToolRun.h"
#include "tests/common/FlatJson.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace korva::cattool {
namespace {

namespace fs = std::filesystem;

using korva::test::JsonString;

TEST(ExplainTest, RealCatalogsGetTheirRecordedVerdictAndTheBuildKeepsTheAcceptedOnes) {
    const fs::path shared = fs::path(KORVA_SHARED_DIR) / "realcats";
    std::ifstream expected(shared / "expected.jsonl");
    if (!expected) GTEST_SKIP() << "shared real catalogs not found";
    std::map<std::string, bool> accepted;
    for (std::string line; std::getline(expected, line);) {
        const std::string file = JsonString(line, "file");
        const ToolRun run = RunToolWith({L"explain", L"--json", (shared / file).wstring()});
        accepted[file] = JsonString(line, "verdict") == "accepted";
        EXPECT_EQ(run.code, accepted[file] ? 0 : 1) << file;
        EXPECT_EQ(JsonString(run.out, "reasonClass"), JsonString(line, "reason")) << file;
    }
    ASSERT_FALSE(accepted.empty());
#ifndef _WIN32
    // The same catalogs in a system directory the engine scans.
    const fs::path root = fs::temp_directory_path() / ("korva-explain-" + std::to_string(::getpid()));
    const fs::path catalogs = root / "System32" / "CatRoot" / "{127D0A1D-4EF2-11D1-8608-00C04FC295EE}";
    fs::create_directories(catalogs);
    fs::create_directories(root / "out");
    for (const auto& [file, keep] : accepted) fs::copy_file(shared / file, catalogs / file);
    ::setenv("KORVA_SYSTEM_DIR", (root / "System32").c_str(), 1);
    ASSERT_EQ(RunToolWith({L"build", (root / "out").wstring()}).code, 0);
    const ToolRun dump = RunToolWith({L"dump", L"--json", (root / "out" / "Cat.DB").wstring()});
    for (const auto& [file, keep] : accepted) {
        EXPECT_EQ(dump.out.find("/" + file + "\"") != std::string::npos, keep) << file;
    }
    fs::remove_all(root);
#endif
}

}  // namespace
}  // namespace korva::cattool
