// The /d and /r /v pre-check: a DWORD below the silo registry path.
#pragma once

#include "frontend/Options.h"

namespace CatalogDB {

// True only when the configured DWORD exists and is non-zero; prints what it
// found or why it found nothing.
bool CheckRegistryKey(const Options& options);

}  // namespace CatalogDB
