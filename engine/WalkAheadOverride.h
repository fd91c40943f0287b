// Test hooks: the catalog bytes a walk-ahead window lets wait behind its oldest
// slot, and the size of a catalog walked early, so that a small tree reaches
// both bounds.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver {

// Windows made from now on use `bytes` (0: the default again); gives back the
// previous setting.
uint64_t SetWalkAheadBytes(uint64_t bytes);
// Likewise the size from which a catalog is walked early.
uint64_t SetEarlyWalkBytes(uint64_t bytes);

}  // namespace TarnVerifyTrustDriver
