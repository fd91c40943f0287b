#include <gtest/gtest.h>

#include "tests/common/AllocationFaults.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {
namespace {

using testing::TestProvider;
using testing::TestProviderInit;

TEST(StatusTranslate, MapsCoreCodesAndPassesOthers) {
    struct Row {
        Status core;
        Status layer;
    };
    const Row rows[] = {
        {518, 1792}, {2051, 1792}, {519, 1794}, {520, 1795}, {2052, 1795}, {2057, 1795}, {524, 1797},
        {2049, 1797}, {525, 1798}, {2048, 1798}, {536, 1802}, {2050, 1802}, {537, 1803},
        // Certificate-layer codes and anything unknown pass unchanged.
        {1792, 1792}, {1900, 1900}, {2047, 2047}, {0, 0}, {516, 516}, {2058, 2058}, {553, 553},
    };
    for (const Row& row : rows) EXPECT_EQ(StatusTranslate(row.core), row.layer) << row.core;
    // Keeping the first failure keeps only out of memory and a core failure;
    // an untranslated core code is just another cause.
    for (auto [first, kept] : {std::pair{1792u, 1792u}, {1794u, 1794u}, {1823u, 1829u}, {518u, 1829u}}) {
        EXPECT_EQ(StatusKeepFatal(first, 1829), kept) << first;
    }
    for (auto [first, kept] : {std::pair{518u, 1792u}, {519u, 1794u}, {525u, 1829u}}) {
        EXPECT_EQ(StatusTranslateKeepFatal(first, 1829), kept) << first;
    }
}

// A class-1 provider that answers every request with one format and keeps
// what it is given.
struct MessageProvider : TestProvider {
    const char* format = nullptr;
    Status formatStatus = kNotFound;  // the format given decides whatever the slot answers
    std::vector<Status> asked;
    std::vector<std::string> delivered;

    MessageProvider() {
        slots[kSlotMessageFormat] = AsProviderFunction(&Format);
        slots[kSlotMessageDeliver] = AsProviderFunction(&Deliver);
    }
    static Status Format(ToolkitContext*, void* handle, Status code, uint32_t severity, const char** out) {
        auto* self = static_cast<MessageProvider*>(handle);
        self->asked.push_back(code * 10 + severity);
        *out = self->format;
        return self->formatStatus;
    }
    static void Deliver(ToolkitContext*, void* handle, const char* message) {
        static_cast<MessageProvider*>(handle)->delivered.push_back(message);
    }
};

class StatusReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        const ProviderRecord records[] = {{1, "first", TestProviderInit}, {1, "second", TestProviderInit}};
        void* params[] = {&first_, &second_};
        ASSERT_EQ(ContextCreate(records, params, 2, &context_), kOk);
    }
    void TearDown() override { ContextFree(&context_); }

    // The message both providers received for `format`, or "<none>".
    std::string Message(const char* format) {
        first_.format = format;
        first_.delivered.clear();
        second_.delivered.clear();
        StatusReport(context_, 1799, kSeverityError, "src/list.cpp", 42, "pFlags", 7u, "third");
        EXPECT_EQ(first_.delivered, second_.delivered);
        return first_.delivered.empty() ? "<none>" : first_.delivered.front();
    }

    MessageProvider first_;
    MessageProvider second_;
    ToolkitContext* context_ = nullptr;
};

TEST_F(StatusReportTest, FormatLanguage) {
    struct Row {
        const char* format;
        const char* message;
    };
    const Row rows[] = {
        // Arguments as text or number, repeated and longer than their placeholders;
        // %% and an unknown escape are the character; a final % ends the message.
        {"%s0 is %n1/%2 %0 at %f:%l 100%% %x %sx%nz cut %",
         "pFlags is 7/third pFlags at src/list.cpp:42 100% x sxnz cut "},
        {"", ""},
        {nullptr, "<none>"},  // no format, no message
    };
    for (const Row& row : rows) EXPECT_EQ(Message(row.format), row.message) << (row.format ? row.format : "null");
    // Only the first provider is asked for the format; every one gets the message.
    EXPECT_EQ(first_.asked.size(), std::size(rows));
    EXPECT_TRUE(second_.asked.empty());
}

TEST_F(StatusReportTest, SeverityDecidesTheResult) {
    for (const char* format : {static_cast<const char*>(nullptr), "message"}) {
        first_.format = format;
        EXPECT_EQ(StatusReport(context_, 1799, kSeverityNotice, nullptr, 0), kOk);
        EXPECT_EQ(StatusReport(context_, 1799, kSeverityWarning, nullptr, 0), kOk);
        EXPECT_EQ(StatusReport(context_, 1799, kSeverityError, nullptr, 0), 1799u);
    }
    // Success is not reported at all.
    first_.asked.clear();
    EXPECT_EQ(StatusReport(context_, kOk, kSeverityError, nullptr, 0), kOk);
    EXPECT_TRUE(first_.asked.empty());
    // Without a context there is nobody to tell, but the result is the same.
    EXPECT_EQ(StatusReport(nullptr, 1792, kSeverityError, nullptr, 0), 1792u);
    EXPECT_EQ(StatusReport(nullptr, 1792, kSeverityWarning, nullptr, 0), kOk);
    // A message that cannot be allocated is dropped; the result stands.
    first_.format = "%0";
    first_.delivered.clear();
    test_support::AllocationFaults faults;
    faults.FailAt(1);
    EXPECT_EQ(StatusReport(context_, 1799, kSeverityError, nullptr, 0, "x"), 1799u);
    EXPECT_TRUE(first_.delivered.empty());
    EXPECT_EQ(faults.liveBlocks(), 0u);
}

}  // namespace
}  // namespace korva::toolkit
