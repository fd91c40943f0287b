#include "runtime/MemoryService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/Trace.h"
#include "platform/TraceRecorder.h"
#include "tests/common/AllocationFaults.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::test_support::AllocationFaults;
namespace trace = korva::trace;

uint64_t HeaderWord(const void* data) {
    uint64_t word = 0;
    std::memcpy(&word, static_cast<const unsigned char*>(data) - kBlockHeaderSize, sizeof word);
    return word;
}

// A host record that remembers what went through its hooks.
struct HostHooks {
    std::vector<size_t> allocated;
    size_t freed = 0;
    bool refuse = false;
    CCallbacks record;

    HostHooks(bool withAllocate, bool withFree) {
        record.context = this;
        if (withAllocate) {
            record.allocate = [](void* context, size_t size) -> void* {
                auto* self = static_cast<HostHooks*>(context);
                self->allocated.push_back(size);
                return self->refuse ? nullptr : std::malloc(size);
            };
        }
        if (withFree) {
            record.free = [](void* context, void* block) {
                ++static_cast<HostHooks*>(context)->freed;
                std::free(block);
            };
        }
    }
};

class AllocationHooksScope {
public:
    explicit AllocationHooksScope(CCallbacks* hooks) : previous_(AllocationHooks) { AllocationHooks = hooks; }
    ~AllocationHooksScope() { AllocationHooks = previous_; }

private:
    CCallbacks* previous_;
};

TEST(MemoryService, RawBufferAsksForSizePlusHeaderAndRecordsTheSize) {
    struct Case {
        size_t size;
        size_t total;
    };
    for (Case c : {Case{0, 9}, Case{1, 9}, Case{7, 15}, Case{4096, 4104}}) {
        HostHooks host(true, true);
        AllocationHooksScope scope(&host.record);
        void* buffer = AllocateBuffer(c.size);
        ASSERT_NE(buffer, nullptr) << c.size;
        EXPECT_EQ(HeaderWord(buffer), c.size);
        EXPECT_EQ(BufferSize(buffer), c.size);
        EXPECT_EQ(host.allocated, std::vector<size_t>{c.total});
        FreeBuffer(buffer);
        EXPECT_EQ(host.freed, 1u);
    }
}

TEST(MemoryService, EmptyBuffersAreDistinctBlocks) {
    AllocationFaults faults;
    void* first = AllocateBuffer(0);
    void* second = AllocateBuffer(0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(faults.liveBlocks(), 2u);
    FreeBuffer(first);
    FreeBuffer(second);
    FreeBuffer(nullptr);
    EXPECT_EQ(faults.liveBlocks(), 0u);
}

TEST(MemoryService, ReallocateKeepsTheCommonPrefix) {
    struct Case {
        size_t from;
        size_t to;
    };
    for (Case c : {Case{4, 10}, Case{10, 3}, Case{5, 5}, Case{6, 0}}) {
        auto* old = static_cast<unsigned char*>(AllocateBuffer(c.from));
        for (size_t i = 0; i < c.from; ++i) old[i] = static_cast<unsigned char>(0xA0 + i);
        auto* fresh = static_cast<unsigned char*>(ReallocateBuffer(old, c.to));
        ASSERT_NE(fresh, nullptr);
        EXPECT_EQ(BufferSize(fresh), c.to);
        for (size_t i = 0; i < std::min(c.from, c.to); ++i) EXPECT_EQ(fresh[i], 0xA0 + i) << c.from << "->" << c.to;
        FreeBuffer(fresh);
    }
    void* fromNothing = ReallocateBuffer(nullptr, 6);
    ASSERT_NE(fromNothing, nullptr);
    EXPECT_EQ(BufferSize(fromNothing), 6u);
    FreeBuffer(fromNothing);
}

TEST(MemoryService, FailedReallocationLeavesTheOldBufferAlone) {
    AllocationFaults faults;
    auto* old = static_cast<unsigned char*>(AllocateBuffer(3));
    std::memcpy(old, "abc", 3);
    trace::Recorder recorder;
    faults.FailAt(1);
    EXPECT_EQ(ReallocateBuffer(old, 100), nullptr);
    EXPECT_EQ(std::memcmp(old, "abc", 3), 0);
    EXPECT_EQ(BufferSize(old), 3u);
    ASSERT_TRUE(recorder.Has(trace::Source::Memory, 11));
    EXPECT_EQ(recorder.events().back().numbers.at(0), 100u);
    FreeBuffer(old);
    EXPECT_EQ(faults.liveBlocks(), 0u);
}

TEST(MemoryService, ObjectHeaderNamesTheCallbacksThatMadeIt) {
    HostHooks host(true, true);
    void* hosted = AllocateObject(24, &host.record);
    ASSERT_NE(hosted, nullptr);
    EXPECT_EQ(HeaderWord(hosted), reinterpret_cast<uintptr_t>(&host.record));
    EXPECT_EQ(host.allocated, std::vector<size_t>{32});
    FreeObject(hosted);
    EXPECT_EQ(host.freed, 1u);

    void* plain = AllocateObject(24, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(HeaderWord(plain), 0u);
    FreeObject(plain);
    FreeObject(nullptr);
}

// The hooks count only as a pair; otherwise both kinds of block use the
// runtime heap, for allocation and for freeing alike.
TEST(MemoryService, HooksCountOnlyWhenBothArePresent) {
    struct Case {
        bool withAllocate;
        bool withFree;
    };
    for (Case c : {Case{true, true}, Case{true, false}, Case{false, true}, Case{false, false}}) {
        SCOPED_TRACE(testing::Message() << "allocate " << c.withAllocate << " free " << c.withFree);
        bool hooked = c.withAllocate && c.withFree;
        HostHooks host(c.withAllocate, c.withFree);
        AllocationFaults heap;

        void* object = AllocateObject(16, &host.record);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(HeaderWord(object), reinterpret_cast<uintptr_t>(&host.record));
        {
            AllocationHooksScope scope(&host.record);
            void* buffer = AllocateBuffer(16);
            ASSERT_NE(buffer, nullptr);
            EXPECT_EQ(host.allocated.size(), hooked ? 2u : 0u);
            EXPECT_EQ(heap.liveBlocks(), hooked ? 0u : 2u);
            FreeBuffer(buffer);
        }
        FreeObject(object);
        EXPECT_EQ(host.freed, hooked ? 2u : 0u);
        EXPECT_EQ(heap.liveBlocks(), 0u);
    }
}

TEST(MemoryService, ImpossibleObjectSizesFailBeforeAnyAllocation) {
    AllocationFaults faults;
    trace::Recorder recorder;
    constexpr size_t kMax = std::numeric_limits<size_t>::max();
    for (size_t size : {kMax, kMax - 1, kMax - 7}) {
        EXPECT_EQ(AllocateObject(size, nullptr), nullptr) << size;
    }
    EXPECT_EQ(faults.attempts(), 0u);
    EXPECT_EQ(recorder.Count(trace::Source::Allocation, 10), 3u);
}

TEST(MemoryService, RefusedAllocationsAreTracedWithTheirSizes) {
    HostHooks host(true, true);
    host.refuse = true;
    trace::Recorder recorder;

    EXPECT_EQ(AllocateObject(40, &host.record), nullptr);
    ASSERT_TRUE(recorder.Has(trace::Source::Allocation, 11));
    EXPECT_EQ(recorder.events().back().numbers.at(0), 48u);  // the total, header included

    AllocationHooksScope scope(&host.record);
    EXPECT_EQ(AllocateBuffer(40), nullptr);
    ASSERT_TRUE(recorder.Has(trace::Source::Memory, 11));
    EXPECT_EQ(recorder.events().back().numbers.at(0), 40u);  // the size asked for
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
