// Two-step initialisation for the process-wide silo and map state: an atomic
// read of the flag, then the lock and a second read (another thread may have
// finished meanwhile). The flag is set only after `load` filled every field;
// a failed load leaves it clear so that the next call tries again.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Lock.h"

namespace korva::support {

template <typename Load>
bool LoadOnce(std::atomic<uint32_t>& loaded, platform::CriticalSection& lock, Load load) {
    if (loaded.load(std::memory_order_acquire) == 1) return true;
    platform::CriticalSectionGuard guard(lock);
    if (loaded.load(std::memory_order_acquire) == 1) return true;
    if (!load()) return false;
    loaded.exchange(1, std::memory_order_acq_rel);
    return true;
}

}  // namespace korva::support
