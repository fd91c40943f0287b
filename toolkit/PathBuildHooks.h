// Test-only view of path building: the work the last request did.
#pragma once

#include <cstdint>

namespace korva::toolkit {

// Signature checks made by the most recent PathBuild in this process.
uint32_t PathBuildLastSignatureChecks();

}  // namespace korva::toolkit
