#include "engine/CatalogVerification.h"

#include <atomic>

#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"

namespace TarnVerifyTrustDriver {

namespace {
std::atomic<ICatalogVerification*> g_verification{nullptr};
}

ICatalogVerification* CatalogVerification() {
    if (ICatalogVerification* installed = g_verification.load()) return installed;
    // Holds no context or anchors between cycles, so one serves the process.
    static CCertificateVerification real;
    return &real;
}

ICatalogVerification* SetCatalogVerification(ICatalogVerification* verification) {
    return g_verification.exchange(verification);
}

}  // namespace TarnVerifyTrustDriver
