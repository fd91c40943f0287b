// The memory service's blocks, with and without a host's hooks, and CMemory
// over them, also when an allocation fails.
#include "runtime/Memory.h"
#include "runtime/MemoryService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/common/AllocationFaults.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::test_support::AllocationFaults;
using korva::test_support::SweepAllocationFailures;

uint64_t HeaderWord(const void* data) {
    uint64_t word = 0;
    std::memcpy(&word, static_cast<const unsigned char*>(data) - kBlockHeaderSize, sizeof word);
    return word;
}

// A host record that remembers what went through its hooks.
struct HostHooks {
    std::vector<size_t> allocated;
    size_t freed = 0;
    CCallbacks record;

    HostHooks(bool withAllocate, bool withFree) {
        record.context = this;
        if (withAllocate) {
            record.allocate = [](void* context, size_t size) -> void* {
                static_cast<HostHooks*>(context)->allocated.push_back(size);
                return std::malloc(size);
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

struct HooksScope {
    explicit HooksScope(CCallbacks* hooks) : previous(AllocationHooks) { AllocationHooks = hooks; }
    ~HooksScope() { AllocationHooks = previous; }
    CCallbacks* previous;
};

TEST(MemoryService, RawBufferAsksForSizePlusHeaderAndRecordsTheSize) {
    for (auto [size, total] : {std::pair<size_t, size_t>{0, 9}, {7, 15}}) {
        HostHooks host(true, true);
        HooksScope scope(&host.record);
        void* buffer = AllocateBuffer(size);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(BufferSize(buffer), size);
        EXPECT_EQ(host.allocated, std::vector<size_t>{total});
        FreeBuffer(buffer);
        EXPECT_EQ(host.freed, 1u);
    }
}

TEST(MemoryService, ReallocateKeepsTheCommonPrefix) {
    struct Case {
        size_t from;
        size_t to;
    };
    for (Case c : {Case{0, 6}, Case{4, 10}, Case{10, 3}, Case{6, 0}}) {
        auto* old = static_cast<unsigned char*>(c.from == 0 ? nullptr : AllocateBuffer(c.from));
        for (size_t i = 0; i < c.from; ++i) old[i] = static_cast<unsigned char>(0xA0 + i);
        auto* fresh = static_cast<unsigned char*>(ReallocateBuffer(old, c.to));
        ASSERT_NE(fresh, nullptr);
        EXPECT_EQ(BufferSize(fresh), c.to);
        for (size_t i = 0; i < std::min(c.from, c.to); ++i) EXPECT_EQ(fresh[i], 0xA0 + i) << c.from << "->" << c.to;
        FreeBuffer(fresh);
    }
}

// The hooks count only as a pair; otherwise both kinds of block use the
// runtime heap, for allocation and for freeing alike.
TEST(MemoryService, HooksCountOnlyWhenBothArePresent) {
    for (int mask = 0; mask < 4; ++mask) {
        SCOPED_TRACE(mask);
        bool hooked = mask == 3;
        HostHooks host(mask & 1, mask & 2);
        AllocationFaults heap;
        void* object = AllocateObject(16, &host.record);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(HeaderWord(object), reinterpret_cast<uintptr_t>(&host.record));
        {
            HooksScope scope(&host.record);
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
    constexpr size_t kMax = std::numeric_limits<size_t>::max();
    for (size_t size : {kMax, kMax - 7}) EXPECT_EQ(AllocateObject(size, nullptr), nullptr) << size;
    EXPECT_EQ(faults.attempts(), 0u);
}

void Fill(CMemory& memory, std::string_view text) {
    ASSERT_TRUE(memory.Allocate(static_cast<uint32_t>(text.size())));
    std::memcpy(memory.data(), text.data(), text.size());
}

std::string_view Text(const CMemory& memory) {
    return {reinterpret_cast<const char*>(memory.data()), memory.size()};
}

// A CMemory's bytes are its own: copies and assignments get theirs.
TEST(Memory, AllocateResizeCopyAndFree) {
    CMemory memory;
    Fill(memory, "first");
    Fill(memory, "abcdefgh");
    ASSERT_TRUE(memory.Resize(3));
    EXPECT_EQ(Text(memory), "abc");
    ASSERT_TRUE(memory.Resize(10));
    EXPECT_EQ(Text(memory).substr(0, 3), "abc");
    ASSERT_TRUE(memory.Allocate(0));
    EXPECT_NE(memory.data(), nullptr);  // a block of its own, holding nothing
    EXPECT_EQ(memory.size(), 0u);
    memory.Free();
    EXPECT_EQ(memory.data(), nullptr);

    CMemory original;
    Fill(original, "catalog");
    CMemory copy(original);
    CMemory assigned;
    Fill(assigned, "old content");
    assigned = original;
    original.data()[0] = 'C';
    EXPECT_EQ(Text(copy), "catalog");
    EXPECT_EQ(Text(assigned), "catalog");
    CMemory& self = copy;
    copy = self;
    EXPECT_EQ(Text(copy), "catalog");
    assigned = CMemory();
    EXPECT_EQ(assigned.data(), nullptr);
}

// What each operation leaves behind when its one allocation fails.
TEST(Memory, FailedAllocationsLeaveDefinedStates) {
    AllocationFaults faults;
    CMemory source;
    Fill(source, "payload");
    CMemory target;
    Fill(target, "target");
    faults.FailAt(1);
    EXPECT_FALSE(target.Resize(100));
    EXPECT_EQ(Text(target), "target");
    EXPECT_EQ(BufferSize(target.data()), 6u);
    faults.FailAt(1);
    target = source;
    EXPECT_EQ(target.data(), nullptr);
    EXPECT_EQ(target.size(), 0u);
    Fill(target, "target");
    faults.FailAt(1);
    EXPECT_FALSE(target.Allocate(5));
    EXPECT_EQ(target.size(), 0u);
}

// Every allocation of a CMemory's life, failed in turn: nothing leaks, and
// objects come from the callbacks they were created with.
TEST(Memory, SweepOfEveryAllocationLeaksNothing) {
    uint64_t covered = SweepAllocationFailures([](uint64_t failing) {
        auto* memory = new CMemory;
        if (memory == nullptr) return;
        bool filled = memory->Allocate(4);
        if (filled) std::memcpy(memory->data(), "abcd", 4);
        bool grown = filled && memory->Resize(8);
        CMemory copy(*memory);
        CMemory assigned;
        assigned = copy;
        if (failing == 0) {
            EXPECT_TRUE(grown);
            EXPECT_EQ(Text(assigned).substr(0, 4), "abcd");
        }
        delete memory;
    });
    EXPECT_EQ(covered, 5u);

    AllocationFaults faults;
    auto* hosted = new (faults.callbacks()) CMemory;
    ASSERT_NE(hosted, nullptr);
    EXPECT_EQ(faults.liveBlocks(), 1u);
    delete hosted;
    EXPECT_EQ(faults.liveBlocks(), 0u);
    faults.FailAt(1);
    EXPECT_EQ(new (faults.callbacks()) CMemory, nullptr);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
