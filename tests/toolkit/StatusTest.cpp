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
        return kNotFound;  // the format given decides whatever the slot answers
    }
    static void Deliver(ToolkitContext*, void* handle, const char* message) {
        static_cast<MessageProvider*>(handle)->delivered.push_back(message);
    }
};

// Every provider gets the message in the first one's format; the severity
// alone decides the result, with or without a context to tell.
TEST(StatusReport, FormatsForEveryProviderAndTheSeverityDecidesTheResult) {
    MessageProvider first, second;
    const ProviderRecord records[] = {{1, "first", TestProviderInit}, {1, "second", TestProviderInit}};
    void* params[] = {&first, &second};
    ToolkitContext* context = nullptr;
    ASSERT_EQ(ContextCreate(records, params, 2, &context), kOk);
    struct Row {
        bool withContext;
        Status code;
        uint32_t severity;
        const char* format;
        Status result;
        std::vector<std::string> message;
    };
    const Row rows[] = {
        // Arguments as text or number, repeated and longer than their placeholders;
        // %% and an unknown escape are the character; a final % ends the message.
        {true, 1799, kSeverityError, "%s0 is %n1/%2 %0 at %f:%l 100%% %x %sx%nz cut %", 1799,
         {"pFlags is 7/third pFlags at src/list.cpp:42 100% x sxnz cut "}},
        {true, 1799, kSeverityWarning, "", kOk, {""}},
        {true, 1799, kSeverityNotice, nullptr, kOk, {}},  // no format, no message
        {true, kOk, kSeverityError, "x", kOk, {}},        // success is not reported
        {false, 1792, kSeverityError, "x", 1792, {}},
        {false, 1792, kSeverityWarning, "x", kOk, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format != nullptr ? row.format : "null");
        first.format = row.format;
        first.delivered.clear();
        second.delivered.clear();
        EXPECT_EQ(StatusReport(row.withContext ? context : nullptr, row.code, row.severity, "src/list.cpp", 42, "pFlags",
                               7u, "third"),
                  row.result);
        EXPECT_EQ(first.delivered, row.message);
        EXPECT_EQ(second.delivered, row.message);
    }
    EXPECT_EQ(first.asked.size(), 3u);  // only the first provider is asked, and only for failures
    EXPECT_TRUE(second.asked.empty());
    // A message that cannot be allocated is dropped; the result stands.
    first.format = "%0";
    first.delivered.clear();
    test_support::AllocationFaults faults;
    faults.FailAt(1);
    EXPECT_EQ(StatusReport(context, 1799, kSeverityError, nullptr, 0, "x"), 1799u);
    EXPECT_TRUE(first.delivered.empty());
    EXPECT_EQ(faults.liveBlocks(), 0u);
    ContextFree(&context);
}

}  // namespace
}  // namespace korva::toolkit
