#include "tests/common/AllocationFaults.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace korva::test_support {

namespace tvt = TarnVerifyTrustDriver;

namespace {

AllocationFaults* g_active = nullptr;

}  // namespace

AllocationFaults::AllocationFaults() : previousHeap_(nullptr) {
    record_.context = this;
    record_.allocate = &HookAllocate;
    record_.free = &HookFree;
    static const tvt::RuntimeHeap heap{&HeapAllocate, &HeapFree};
    g_active = this;
    previousHeap_ = tvt::ReplaceRuntimeHeapForTests(&heap);
}

AllocationFaults::~AllocationFaults() {
    tvt::ReplaceRuntimeHeapForTests(previousHeap_);
    g_active = nullptr;
}

void AllocationFaults::FailAt(uint64_t ordinal) {
    std::lock_guard guard(lock_);
    failAt_ = ordinal;
    attempts_ = 0;
    failures_ = 0;
}

uint64_t AllocationFaults::attempts() const {
    std::lock_guard guard(lock_);
    return attempts_;
}

uint64_t AllocationFaults::failures() const {
    std::lock_guard guard(lock_);
    return failures_;
}

size_t AllocationFaults::liveBlocks() const {
    std::lock_guard guard(lock_);
    return live_.size();
}

void* AllocationFaults::HookAllocate(void* context, size_t size) {
    return static_cast<AllocationFaults*>(context)->Allocate(size);
}

void AllocationFaults::HookFree(void* context, void* block) { static_cast<AllocationFaults*>(context)->Free(block); }

// Blocks made through the seam after this instance is gone go to malloc/free
// directly, which is where these would have sent them anyway.
void* AllocationFaults::HeapAllocate(size_t size) {
    return g_active != nullptr ? g_active->Allocate(size) : std::malloc(size);
}

void AllocationFaults::HeapFree(void* block) {
    if (g_active != nullptr) {
        g_active->Free(block);
    } else {
        std::free(block);
    }
}

void* AllocationFaults::Allocate(size_t size) {
    std::lock_guard guard(lock_);
    if (++attempts_ == failAt_) {
        ++failures_;
        return nullptr;
    }
    void* block = std::malloc(size);
    if (block != nullptr) live_.insert(block);
    return block;
}

void AllocationFaults::Free(void* block) {
    std::lock_guard guard(lock_);
    live_.erase(block);
    std::free(block);
}

uint64_t SweepAllocationFailures(const std::function<void(uint64_t failing)>& scenario) {
    AllocationFaults faults;
    scenario(0);
    uint64_t total = faults.attempts();
    EXPECT_EQ(faults.liveBlocks(), 0u) << "the clean run leaks";
    for (uint64_t ordinal = 1; ordinal <= total; ++ordinal) {
        faults.FailAt(ordinal);
        scenario(ordinal);
        EXPECT_EQ(faults.failures(), 1u) << "allocation " << ordinal << " was not reached";
        EXPECT_EQ(faults.liveBlocks(), 0u) << "leak after failing allocation " << ordinal;
    }
    return total;
}

}  // namespace korva::test_support
