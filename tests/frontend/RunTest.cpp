#include "frontend/Run.h"

#include <gtest/gtest.h>

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

TEST(Run, PrintsBannerAndClosingMessage) {
    Options options;
    options.overrideBitnessCheck = true;
    options.path = L"out\\dir\\";
    bool result = false;
    EXPECT_EQ(RunCaptured(options, result),
              "Creating kernel mode catalog database:\n"
              "\tOverride bitness check: true\n"
              "\tRegistry key check: false\n"
              "\tPath: out\\dir\\\n"
              "Kenerl mode catalog database created at out\\dir\\\n");
    EXPECT_TRUE(result);
    EXPECT_EQ(TarnVerifyTrustDriver::CCatalogDatabaseSingleton::Instance(), nullptr);
}

TEST(Run, EmptyPathStillEndsWithTheSuccessMessage) {
    korva::trace::Recorder recorder;
    Options options;
    bool result = false;
    std::string output = RunCaptured(options, result);
    EXPECT_TRUE(result);
    EXPECT_NE(output.find("Kenerl mode catalog database created at \n"), std::string::npos);
    EXPECT_TRUE(recorder.Has(korva::trace::Source::Engine, 24));  // engine refused the empty directory
}

TEST(EntryPoint, HintLineComesFirstAndExitCodesFollowTheOutcome) {
    const wchar_t* help[] = {L"KorvaCatalogDB", L"/?"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(EntryPoint(2, help), 1);
    std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.rfind("For usage: execute \"KorvaCatalogDB /?\"\n\nFile Usage:", 0), 0u);

    const wchar_t* installer[] = {L"KorvaCatalogDB", L"/patchapply"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(EntryPoint(2, installer), 0);
    testing::internal::GetCapturedStdout();

    const wchar_t* run[] = {L"KorvaCatalogDB", L"/n", L"/p", L"somewhere"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(EntryPoint(4, run), 0);
    testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace CatalogDB
