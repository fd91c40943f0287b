// A scriptable service provider shared by the toolkit tests.
#pragma once

#include <string>
#include <vector>

#include "toolkit/Context.h"

namespace korva::toolkit::testing {

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
