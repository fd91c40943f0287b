#include "tests/toolkit/ToolkitTestSupport.h"

#include <cstdlib>

namespace korva::toolkit::testing {

namespace mem = TarnVerifyTrustDriver;

AllocationFaults::AllocationFaults(size_t failAt) : previous_(mem::AllocationHooks), failAt_(failAt) {
    hooks_.context = this;
    hooks_.allocate = &Allocate;
    hooks_.free = &Free;
    mem::AllocationHooks = &hooks_;
}

AllocationFaults::~AllocationFaults() {
    mem::AllocationHooks = previous_;
}

void* AllocationFaults::Allocate(void* self, size_t size) {
    auto* faults = static_cast<AllocationFaults*>(self);
    if (++faults->allocations_ == faults->failAt_) return nullptr;
    void* block = std::malloc(size);
    if (block != nullptr) ++faults->live_;
    return block;
}

void AllocationFaults::Free(void* self, void* block) {
    --static_cast<AllocationFaults*>(self)->live_;
    std::free(block);
}

namespace {

void ReleaseTestProvider(ToolkitContext*, void* handle, const char* name) {
    auto* provider = static_cast<TestProvider*>(handle);
    if (provider->log != nullptr) provider->log->push_back("release " + provider->label + " as " + name);
}

}  // namespace

Status TestProviderInit(ToolkitContext*, void* param, ProviderFunction* table, void** handle) {
    auto* provider = static_cast<TestProvider*>(param);
    if (provider->log != nullptr) provider->log->push_back("init " + provider->label);
    if (provider->initResult != kOk) return provider->initResult;
    for (uint32_t slot = 0; slot < kProviderSlotCount; ++slot) table[slot] = provider->slots[slot];
    if (table[kSlotReleaseHandle] == nullptr) table[kSlotReleaseHandle] = AsProviderFunction(&ReleaseTestProvider);
    *handle = provider;
    return kOk;
}

}  // namespace korva::toolkit::testing
