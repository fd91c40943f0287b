// explain on the published catalogs: each gets the verdict and the reason
// class recorded for it. That a build keeps exactly the accepted ones is the
// engine cases' check (tests/e2e/run-engine-cases.sh), on the same engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/cattool/ToolRun.h"
#include "tests/common/FlatJson.h"

namespace korva::cattool {
namespace {

namespace fs = std::filesystem;

using korva::test::JsonString;

TEST(ExplainTest, RealCatalogsGetTheirRecordedVerdictAndReason) {
    const fs::path shared = fs::path(KORVA_SHARED_DIR) / "realcats";
    std::ifstream expected(shared / "expected.jsonl");
    if (!expected) GTEST_SKIP() << "shared real catalogs not found";
    int explained = 0;
    for (std::string line; std::getline(expected, line); ++explained) {
        const std::string file = JsonString(line, "file");
        const ToolRun run = RunToolWith({L"explain", L"--json", (shared / file).wstring()});
        EXPECT_EQ(run.code, JsonString(line, "verdict") == "accepted" ? 0 : 1) << file;
        EXPECT_EQ(JsonString(run.out, "reasonClass"), JsonString(line, "reason")) << file;
    }
    EXPECT_GT(explained, 0);
}

}  // namespace
}  // namespace korva::cattool
