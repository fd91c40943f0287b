// Test hook: turns the shortcuts of FastPathsEnabled off or on again.
#pragma once

namespace TarnVerifyTrustDriver {

// Gives back the previous setting.
bool SetFastPathsEnabled(bool enabled);

}  // namespace TarnVerifyTrustDriver
