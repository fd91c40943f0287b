// How many threads walk catalogs in an update cycle.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver {

// More would only queue on the processors and hold more catalogs in memory.
inline constexpr uint32_t kMaxWorkers = 64;

// KORVA_WORKERS when it is a number from 1 up (kMaxWorkers at most), else
// one per processor. 1: the store's own thread walks every catalog.
uint32_t WorkerCount();

}  // namespace TarnVerifyTrustDriver
