#include "frontend/Run.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "engine/CatalogDatabase.h"
#include "platform/Trace.h"
#include "platform/TraceRecorder.h"

namespace CatalogDB {
namespace {

std::string RunCaptured(const Options& options, bool& result) {
    testing::internal::CaptureStdout();
    result = Run(options);
    return testing::internal::GetCapturedStdout();
}

// The banner, messages and exit codes run end to end (frontend-cases.tsv);
// these are what no case sees: the engine released after a run, and an empty
// path the engine refuses.
TEST(Run, ReleasesTheEngineAndEndsWithTheSuccessMessage) {
    for (const wchar_t* path : {L"out\\dir\\", L""}) {
        korva::trace::Recorder recorder;
        Options options;
        options.path = path;
        bool result = false;
        std::string output = RunCaptured(options, result);
        EXPECT_TRUE(result);
        EXPECT_TRUE(output.ends_with("created at " + std::string(path, path + wcslen(path)) + "\n")) << output;
        EXPECT_EQ(TarnVerifyTrustDriver::CCatalogDatabaseSingleton::Instance(), nullptr);
        EXPECT_EQ(recorder.Has(korva::trace::Source::Engine, 24), *path == L'\0');  // the empty directory refused
    }
}

}  // namespace
}  // namespace CatalogDB
