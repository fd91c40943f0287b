// Test hook: the catalog bytes a walk-ahead window lets wait behind its oldest
// slot, so that a small tree reaches the bound.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver {

// Windows made from now on use `bytes` (0: the default again); gives back the
// previous setting.
uint64_t SetWalkAheadBytes(uint64_t bytes);

}  // namespace TarnVerifyTrustDriver
