#include "engine/WorkerCount.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "engine/WorkerCountOverride.h"

namespace TarnVerifyTrustDriver {

namespace {
std::atomic<uint32_t> g_fixed{0};
}

uint32_t WorkerCount() {
    if (uint32_t fixed = g_fixed.load()) return fixed;
    const char* setting = std::getenv("KORVA_WORKERS");
    if (setting != nullptr && *setting >= '0' && *setting <= '9') {
        char* end = nullptr;
        unsigned long count = std::strtoul(setting, &end, 10);
        if (end != setting && *end == '\0' && count >= 1) return static_cast<uint32_t>(std::min<unsigned long>(count, kMaxWorkers));
    }
    return std::clamp<uint32_t>(std::thread::hardware_concurrency(), 1, kMaxWorkers);
}

uint32_t SetWorkerCount(uint32_t count) { return g_fixed.exchange(std::min(count, kMaxWorkers)); }

}  // namespace TarnVerifyTrustDriver
