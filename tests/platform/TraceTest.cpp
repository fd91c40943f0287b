#include "platform/Trace.h"
#include "platform/TraceRecorder.h"

#include <gtest/gtest.h>

namespace korva::trace {
namespace {

TEST(Trace, RecorderSeesEventsOnlyWhileInstalled) {
    {
        Recorder recorder;
        Emit(Source::Engine, 28, Level::Error);
        Emit(Source::Silo, 11, Level::Error, {Text(L"x"), Num(7)});
        ASSERT_EQ(recorder.events().size(), 2u);
        EXPECT_TRUE(recorder.Has(Source::Engine, 28));
        EXPECT_EQ(recorder.events()[1].texts.at(0), L"x");
        EXPECT_EQ(recorder.events()[1].numbers.at(0), 7u);
    }
    Recorder later;
    EXPECT_FALSE(later.Has(Source::Engine, 28));
}

TEST(Trace, FormatsOneReadableLine) {
    const uint8_t bytes[] = {0xAB, 0x01};
    EXPECT_EQ(FormatEvent(Source::FileIo, 15, Level::Error, {Num(65536), Text(L"a\u00e9"), Bytes(bytes, 2)}),
              "fileio 15 error 65536 (0x10000) \"a\xc3\xa9\" ab01");
}

}  // namespace
}  // namespace korva::trace
