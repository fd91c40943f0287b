#include "tests/toolkit/ToolkitTestSupport.h"

namespace korva::toolkit::testing {

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
