// Every allocation of context creation, binding and list work is made to fail
// in turn: each failure must come out as 1792 with nothing left allocated.
#include <gtest/gtest.h>

#include "tests/common/AllocationFaults.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/ObjectList.h"
#include "toolkit/ServiceBinding.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {
namespace {

namespace mem = TarnVerifyTrustDriver;
using test_support::SweepAllocationFailures;

// A provider that keeps a buffer from the memory service as its handle, so a
// provider not released on a failed creation shows up as a live block.
Status BufferProviderInit(ToolkitContext*, void*, ProviderFunction* table, void** handle) {
    *handle = mem::AllocateBuffer(32);
    if (*handle == nullptr) return kOutOfMemory;
    table[kSlotReleaseHandle] = AsProviderFunction(+[](ToolkitContext*, void* h, const char*) { mem::FreeBuffer(h); });
    return kOk;
}

// A failing run must report out of memory and leave the out handle cleared.
void ExpectOutOfMemoryAndClearedHandle(uint64_t failing, Status status, bool cleared) {
    if (failing == 0) return;
    EXPECT_EQ(status, kOutOfMemory);
    EXPECT_TRUE(cleared);
}

TEST(AllocationFailures, ContextCreationFailsCleanly) {
    const ProviderRecord records[] = {{6, "Cert Path Processing Provider", BufferProviderInit},
                                      {4, "In-memory database", BufferProviderInit},
                                      {1, "messages", BufferProviderInit}};
    uint64_t allocations = SweepAllocationFailures([&](uint64_t failing) {
        uint32_t stale = 0;  // not a context: freeing it is a no-op
        auto* context = reinterpret_cast<ToolkitContext*>(&stale);
        Status status = ContextCreate(records, nullptr, 3, &context);
        bool cleared = context == nullptr;
        ContextFree(&context);
        ExpectOutOfMemoryAndClearedHandle(failing, status, cleared);
    });
    // Context, three entries, three provider handles, the extension registry.
    EXPECT_EQ(allocations, 8u);
}

TEST(AllocationFailures, BindingFailsCleanly) {
    const ProviderRecord records[] = {{4, "a", BufferProviderInit}, {4, "b", BufferProviderInit}};
    ToolkitContext* context = nullptr;
    ASSERT_EQ(ContextCreate(records, nullptr, 2, &context), kOk);
    uint64_t allocations = SweepAllocationFailures([&](uint64_t failing) {
        ServiceBinding* binding = nullptr;
        Status status = ServiceBind(context, 4, nullptr, 0, &binding);
        bool cleared = binding == nullptr;
        ServiceUnbind(&binding);
        ExpectOutOfMemoryAndClearedHandle(failing, status, cleared);
    });
    EXPECT_EQ(allocations, 3u);  // the binding and one node per provider
    ContextFree(&context);
}

TEST(AllocationFailures, ListOperationsFailCleanlyAndKeepTheirElements) {
    ObjectHeader* cert = ObjectNew(sizeof(ObjectHeader), kTagCertificate, nullptr);
    constexpr uint32_t kElements = 17;  // crosses two growth steps
    uint64_t allocations = SweepAllocationFailures([&](uint64_t failing) {
        uint32_t stored = 0;
        uint32_t count = 0;
        ObjectList* list = nullptr;
        Status status = ObjectListCreate(&list);
        while (status == kOk && stored < kElements) {
            // Alternate the two ways in, so both meet a failing growth.
            status = stored % 2 == 0 ? ObjectListAppend(list, cert, nullptr, &kListByReference)
                                     : ObjectListInsert(list, cert, 0, &kListByReference);
            if (status == kOk) ++stored;
        }
        if (list != nullptr) ObjectListCount(list, &count);
        ObjectListFree(&list);
        EXPECT_EQ(status, failing == 0 ? kOk : kOutOfMemory);
        EXPECT_EQ(count, stored);  // a failed insertion loses nothing
        EXPECT_EQ(cert->references, 1u);
    });
    // The list, a box per element, and three array growths.
    EXPECT_EQ(allocations, 1 + kElements + 3);
    ObjectRelease(&cert);
}

}  // namespace
}  // namespace korva::toolkit
