// The catalog store's verdict on one walked catalog, named, for the commands
// that verify catalogs themselves.
#pragma once

#include <cstdint>

#include "engine/CatalogEvidence.h"

namespace korva::cattool {

// "ok" when the store keeps the catalog; otherwise the first check it fails,
// in the store's order: "walk-stopped", "content-digest-mismatch",
// "signer-not-verified", "signer-rejected".
const char* CatalogVerdict(uint32_t walkResult, const TarnVerifyTrustDriver::ICatalogEvidence& evidence);

}  // namespace korva::cattool
