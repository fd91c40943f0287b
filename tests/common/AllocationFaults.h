// Allocation fault injection for tests: counts every engine allocation, fails
// the N-th one, and tracks the blocks still live so a test can prove that a
// failure leaks nothing. Sits beneath the memory service's runtime heap and
// delegates to malloc/free; callbacks() offers the same counting as host hooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_set>

#include "runtime/MemoryService.h"
#include "runtime/RuntimeHeapSeam.h"

namespace korva::test_support {

class AllocationFaults {
public:
    // One instance at a time; it uninstalls itself on destruction.
    AllocationFaults();
    ~AllocationFaults();
    AllocationFaults(const AllocationFaults&) = delete;
    AllocationFaults& operator=(const AllocationFaults&) = delete;

    // The `ordinal`-th allocation from now on fails (0: none) and the counts
    // start again from zero.
    void FailAt(uint64_t ordinal);

    uint64_t attempts() const;
    uint64_t failures() const;
    size_t liveBlocks() const;

    // A record whose hooks count here, for AllocateObject and `new (callbacks)`.
    TarnVerifyTrustDriver::CCallbacks* callbacks() { return &record_; }

private:
    static void* HookAllocate(void* context, size_t size);
    static void HookFree(void* context, void* block);
    static void* HeapAllocate(size_t size);
    static void HeapFree(void* block);
    void* Allocate(size_t size);
    void Free(void* block);

    mutable std::mutex lock_;
    uint64_t failAt_ = 0;
    uint64_t attempts_ = 0;
    uint64_t failures_ = 0;
    std::unordered_set<void*> live_;
    TarnVerifyTrustDriver::CCallbacks record_;
    const TarnVerifyTrustDriver::RuntimeHeap* previousHeap_;
};

// Runs `scenario` once with no failure (argument 0) to count its allocations,
// then once for each of them with that one failing (argument = its ordinal).
// Every run must leave no block live. Returns the number of allocations of the
// clean run, so a test can also assert that the sweep covered something.
uint64_t SweepAllocationFailures(const std::function<void(uint64_t failing)>& scenario);

}  // namespace korva::test_support
