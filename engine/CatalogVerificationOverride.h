// Test hook: replaces the verification the engine's update cycles use.
#pragma once

#include "engine/CatalogVerification.h"

namespace TarnVerifyTrustDriver {

// Installs `verification` (null: the real one again) and gives back the
// previous one.
ICatalogVerification* SetCatalogVerification(ICatalogVerification* verification);

}  // namespace TarnVerifyTrustDriver
