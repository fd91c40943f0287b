// Test-only view of path building: the work the last request did.
#pragma once

#include <cstdint>

namespace korva::toolkit {

// Signature checks made by the most recent PathBuild in this process.
uint32_t PathBuildLastSignatureChecks();
// Search steps made by it.
uint32_t PathBuildLastSearchSteps();

}  // namespace korva::toolkit
