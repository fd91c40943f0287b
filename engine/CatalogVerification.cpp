#include "engine/CatalogVerification.h"

#include <atomic>

#include "engine/CatalogVerificationOverride.h"

namespace TarnVerifyTrustDriver {

namespace {
std::atomic<ICatalogVerification*> g_verification{nullptr};
}

ICatalogVerification* CatalogVerification() { return g_verification.load(); }

ICatalogVerification* SetCatalogVerification(ICatalogVerification* verification) {
    return g_verification.exchange(verification);
}

}  // namespace TarnVerifyTrustDriver
