#include "tools/cattool/CatalogVerdict.h"

namespace korva::cattool {

const char* CatalogVerdict(uint32_t walkResult, const TarnVerifyTrustDriver::ICatalogEvidence& evidence) {
    if (walkResult != TarnVerifyTrustDriver::kWalkSucceeded) return "walk-stopped";
    if (!evidence.ContentDigestMatched()) return "content-digest-mismatch";
    if (!evidence.SignerVerified()) return "signer-not-verified";
    if (evidence.SignerRejected()) return "signer-rejected";
    return "ok";
}

}  // namespace korva::cattool
