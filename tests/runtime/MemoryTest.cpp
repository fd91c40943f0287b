#include "runtime/Memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>

#include "tests/common/AllocationFaults.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::test_support::AllocationFaults;
using korva::test_support::SweepAllocationFailures;

void Fill(CMemory& memory, std::string_view text) {
    ASSERT_TRUE(memory.Allocate(static_cast<uint32_t>(text.size())));
    std::memcpy(memory.data(), text.data(), text.size());
}

std::string_view Text(const CMemory& memory) {
    return {reinterpret_cast<const char*>(memory.data()), memory.size()};
}

TEST(Memory, AllocateResizeAndFree) {
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
}

TEST(Memory, CopiesOwnTheirBytes) {
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
