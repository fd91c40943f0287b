// Helpers shared by the toolkit tests: an allocation fault injector over the
// memory service's process-wide hooks, and a scriptable test provider.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/MemoryService.h"
#include "toolkit/Context.h"

namespace korva::toolkit::testing {

// Routes raw buffers through hooks that fail the `failAt`-th allocation
// (counting from 1; 0 never fails) and count the blocks still live.
class AllocationFaults {
public:
    explicit AllocationFaults(size_t failAt = 0);
    ~AllocationFaults();
    AllocationFaults(const AllocationFaults&) = delete;
    AllocationFaults& operator=(const AllocationFaults&) = delete;

    size_t allocations() const { return allocations_; }
    size_t live() const { return live_; }
    bool failed() const { return failAt_ != 0 && allocations_ >= failAt_; }

private:
    static void* Allocate(void* self, size_t size);
    static void Free(void* self, void* block);

    TarnVerifyTrustDriver::CCallbacks hooks_;
    TarnVerifyTrustDriver::CCallbacks* previous_;
    size_t failAt_;
    size_t allocations_ = 0;
    size_t live_ = 0;
};

// Runs `attempt` with the n-th allocation failing, for n = 1, 2, ... until a
// run makes no more allocations than n - 1; `check` sees each failing run
// after `attempt` returned. Returns the number of failing runs.
template <typename Attempt, typename Check>
size_t SweepAllocationFailures(Attempt attempt, Check check) {
    for (size_t failAt = 1;; ++failAt) {
        AllocationFaults faults(failAt);
        auto outcome = attempt();
        if (!faults.failed()) return failAt - 1;
        check(outcome, faults);
    }
}

// A provider whose behaviour a test scripts through its parameter block:
// the init result, the slots to install, and a shared log of calls.
struct TestProvider {
    std::vector<std::string>* log = nullptr;
    std::string label;
    Status initResult = kOk;
    ProviderFunction slots[kProviderSlotCount] = {};
};

// The init function of every test provider; its param is a TestProvider.
Status TestProviderInit(ToolkitContext* context, void* param, ProviderFunction* table, void** handle);

}  // namespace korva::toolkit::testing
