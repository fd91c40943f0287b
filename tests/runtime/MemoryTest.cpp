#include "runtime/Memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string_view>
#include <vector>

#include "platform/Trace.h"
#include "platform/TraceRecorder.h"
#include "tests/common/AllocationFaults.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::test_support::AllocationFaults;
using korva::test_support::SweepAllocationFailures;
namespace trace = korva::trace;

void Fill(CMemory& memory, std::string_view text) {
    ASSERT_TRUE(memory.Allocate(static_cast<uint32_t>(text.size())));
    std::memcpy(memory.data(), text.data(), text.size());
}

std::string_view Text(const CMemory& memory) {
    return {reinterpret_cast<const char*>(memory.data()), memory.size()};
}

TEST(Memory, AllocateReplacesTheContent) {
    CMemory memory;
    EXPECT_EQ(memory.data(), nullptr);
    EXPECT_EQ(memory.size(), 0u);
    Fill(memory, "first");
    Fill(memory, "second!");
    EXPECT_EQ(Text(memory), "second!");
    ASSERT_TRUE(memory.Allocate(0));
    EXPECT_NE(memory.data(), nullptr);  // a block of its own, holding nothing
    EXPECT_EQ(memory.size(), 0u);
    memory.Free();
    EXPECT_EQ(memory.data(), nullptr);
    EXPECT_EQ(memory.size(), 0u);
}

TEST(Memory, ResizeKeepsTheCommonPrefix) {
    struct Case {
        std::string_view before;
        uint32_t size;
        std::string_view kept;
    };
    for (Case c : {Case{"abcd", 10, "abcd"}, Case{"abcdefgh", 3, "abc"}, Case{"", 4, ""}, Case{"xyz", 0, ""}}) {
        CMemory memory;
        if (!c.before.empty()) Fill(memory, c.before);
        ASSERT_TRUE(memory.Resize(c.size));
        EXPECT_EQ(memory.size(), c.size);
        EXPECT_EQ(Text(memory).substr(0, c.kept.size()), c.kept);
    }
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

    CMemory empty;
    assigned = empty;
    EXPECT_EQ(assigned.data(), nullptr);
    EXPECT_EQ(assigned.size(), 0u);
    CMemory emptyCopy(empty);
    EXPECT_EQ(emptyCopy.data(), nullptr);

    CMemory& self = copy;
    copy = self;
    EXPECT_EQ(Text(copy), "catalog");
}

// What each operation leaves behind when its one allocation fails.
TEST(Memory, FailedAllocationsLeaveDefinedStatesAndEvents) {
    AllocationFaults faults;
    trace::Recorder recorder;
    CMemory source;
    Fill(source, "payload");
    CMemory target;
    Fill(target, "target");

    faults.FailAt(1);
    EXPECT_FALSE(target.Resize(100));
    EXPECT_EQ(Text(target), "target");
    EXPECT_TRUE(recorder.Has(trace::Source::Buffer, 13));

    faults.FailAt(1);
    target = source;
    EXPECT_EQ(target.data(), nullptr);
    EXPECT_EQ(target.size(), 0u);
    EXPECT_TRUE(recorder.Has(trace::Source::Buffer, 10));

    Fill(target, "target");
    faults.FailAt(1);
    EXPECT_FALSE(target.Allocate(5));
    EXPECT_EQ(target.data(), nullptr);
    EXPECT_EQ(target.size(), 0u);
    EXPECT_TRUE(recorder.Has(trace::Source::Buffer, 12));

    faults.FailAt(1);
    CMemory copy(source);
    EXPECT_EQ(copy.size(), 0u);
    EXPECT_EQ(Text(source), "payload");
}

// Every allocation of a CMemory's life, failed in turn: each operation reports
// its own failure and nothing leaks.
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
}

TEST(Memory, ObjectsComeFromTheCallbacksTheyAreCreatedWith) {
    AllocationFaults faults;
    auto* hosted = new (faults.callbacks()) CMemory;
    ASSERT_NE(hosted, nullptr);
    uint64_t header = 0;
    std::memcpy(&header, reinterpret_cast<unsigned char*>(hosted) - kBlockHeaderSize, sizeof header);
    EXPECT_EQ(header, reinterpret_cast<uintptr_t>(faults.callbacks()));
    EXPECT_EQ(faults.liveBlocks(), 1u);
    delete hosted;
    EXPECT_EQ(faults.liveBlocks(), 0u);

    faults.FailAt(1);
    EXPECT_EQ(new CMemory, nullptr);
    faults.FailAt(1);
    EXPECT_EQ(new (faults.callbacks()) CMemory, nullptr);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
