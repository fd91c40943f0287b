// Every allocation of context creation, binding and list work is made to fail
// in turn: each failure must come out as 1792 with nothing left allocated.
#include <gtest/gtest.h>

#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/ObjectList.h"
#include "toolkit/ServiceBinding.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {
namespace {

namespace mem = TarnVerifyTrustDriver;
using testing::AllocationFaults;
using testing::SweepAllocationFailures;

// A provider that keeps a buffer from the memory service as its handle, so a
// provider not released on a failed creation shows up as a live block.
Status BufferProviderInit(ToolkitContext*, void*, ProviderFunction* table, void** handle) {
    *handle = mem::AllocateBuffer(32);
    if (*handle == nullptr) return kOutOfMemory;
    table[kSlotReleaseHandle] = AsProviderFunction(+[](ToolkitContext*, void* h, const char*) { mem::FreeBuffer(h); });
    return kOk;
}

// Outcome: the status and whether the out handle was left cleared.
void ExpectOutOfMemoryAndClearedHandle(std::pair<Status, bool> outcome, const AllocationFaults& faults) {
    EXPECT_EQ(outcome.first, kOutOfMemory);
    EXPECT_TRUE(outcome.second);
    EXPECT_EQ(faults.live(), 0u);
}

TEST(AllocationFailures, ContextCreationFailsCleanly) {
    const ProviderRecord records[] = {{6, "Cert Path Processing Provider", BufferProviderInit},
                                      {4, "In-memory database", BufferProviderInit},
                                      {1, "messages", BufferProviderInit}};
    size_t failures = SweepAllocationFailures(
        [&] {
            uint32_t stale = 0;  // not a context: freeing it is a no-op
            auto* context = reinterpret_cast<ToolkitContext*>(&stale);
            Status status = ContextCreate(records, nullptr, 3, &context);
            bool cleared = context == nullptr;
            ContextFree(&context);
            return std::pair{status, cleared};
        },
        ExpectOutOfMemoryAndClearedHandle);
    // Context, three entries, three provider handles, the extension registry.
    EXPECT_EQ(failures, 8u);
}

TEST(AllocationFailures, BindingFailsCleanly) {
    const ProviderRecord records[] = {{4, "a", BufferProviderInit}, {4, "b", BufferProviderInit}};
    ToolkitContext* context = nullptr;
    ASSERT_EQ(ContextCreate(records, nullptr, 2, &context), kOk);
    size_t failures = SweepAllocationFailures(
        [&] {
            ServiceBinding* binding = nullptr;
            Status status = ServiceBind(context, 4, nullptr, 0, &binding);
            bool cleared = binding == nullptr;
            ServiceUnbind(&binding);
            return std::pair{status, cleared};
        },
        ExpectOutOfMemoryAndClearedHandle);
    EXPECT_EQ(failures, 3u);  // the binding and one node per provider
    ContextFree(&context);
}

TEST(AllocationFailures, ListOperationsFailCleanlyAndKeepTheirElements) {
    ObjectHeader* cert = ObjectNew(sizeof(ObjectHeader), kTagCertificate, nullptr);
    constexpr uint32_t kElements = 17;  // crosses two growth steps
    struct Outcome {
        Status status;
        uint32_t stored;
        uint32_t count;
    };
    size_t failures = SweepAllocationFailures(
        [&] {
            Outcome outcome{kOk, 0, 0};
            ObjectList* list = nullptr;
            outcome.status = ObjectListCreate(&list);
            while (outcome.status == kOk && outcome.stored < kElements) {
                // Alternate the two ways in, so both meet a failing growth.
                outcome.status = outcome.stored % 2 == 0
                                     ? ObjectListAppend(list, cert, nullptr, &kListByReference)
                                     : ObjectListInsert(list, cert, 0, &kListByReference);
                if (outcome.status == kOk) ++outcome.stored;
            }
            if (list != nullptr) ObjectListCount(list, &outcome.count);
            ObjectListFree(&list);
            return outcome;
        },
        [&](Outcome outcome, const AllocationFaults& faults) {
            EXPECT_EQ(outcome.status, kOutOfMemory);
            EXPECT_EQ(outcome.count, outcome.stored);  // a failed insertion loses nothing
            EXPECT_EQ(faults.live(), 0u);
            EXPECT_EQ(cert->references, 1u);
        });
    // The list, a box per element, and three array growths.
    EXPECT_EQ(failures, 1 + kElements + 3);
    ObjectRelease(&cert);
}

}  // namespace
}  // namespace korva::toolkit
