// The main of every test executable. CTest counts an executable as passed
// whenever it exits with 0, so one whose tests were skipped exits with
// kSkippedExitCode instead, which korva_add_test tells CTest to show as a skip.
#include <gtest/gtest.h>

namespace {
constexpr int kSkippedExitCode = 77;
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result != 0) return result;
    return testing::UnitTest::GetInstance()->skipped_test_count() > 0 ? kSkippedExitCode : 0;
}
