// Test hook: fixes the number of walking threads.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver {

// From now on WorkerCount() gives `count` (0: KORVA_WORKERS or the processor
// count again); gives back the previous setting.
uint32_t SetWorkerCount(uint32_t count);

}  // namespace TarnVerifyTrustDriver
