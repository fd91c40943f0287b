#include "catalog/FastPaths.h"

#include <atomic>

#include "catalog/FastPathsOverride.h"

namespace TarnVerifyTrustDriver {

namespace {
std::atomic<bool> g_enabled{true};
}

bool FastPathsEnabled() { return g_enabled.load(std::memory_order_relaxed); }

bool SetFastPathsEnabled(bool enabled) { return g_enabled.exchange(enabled); }

}  // namespace TarnVerifyTrustDriver
