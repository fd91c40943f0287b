// What an update cycle needs to verify catalogs: the certificate context with
// the toolkit's two providers, the trust anchor set built from the built-in
// roots, and a catalog verifier (walker and callback) bound to that set.
#pragma once

#include <cstdint>

#include "engine/CatalogEvidence.h"

namespace TarnVerifyTrustDriver {

class ICatalogVerification {
public:
    static constexpr uint32_t kContextStarted = 1;

    virtual ~ICatalogVerification() = default;
    // Starts the certificate context; kContextStarted when it runs.
    virtual uint32_t StartContext() = 0;
    // Builds the trust anchor set from the started context; 0 on success.
    virtual uint32_t SetUpTrustAnchors() = 0;
    // Verifies catalogs against the trust anchor set as it stands.
    virtual ICatalogVerifier& Verifier() = 0;
    // One more verifier for a worker thread, set up now on the calling thread
    // with a context, anchors and cache of its own, so that workers share
    // nothing they change; it lives until ReleaseTrustAnchors. Null when this
    // verification has none to give: its catalogs are walked on the store's
    // thread.
    virtual ICatalogVerifier* AddWorkerVerifier() { return nullptr; }
    // Both also when nothing was set up or started.
    virtual void ReleaseTrustAnchors() = 0;
    virtual void ResetContext() = 0;
};

// The verification the engine's update cycles use: the certificate context
// and built-in roots unless a test installed another.
ICatalogVerification* CatalogVerification();

}  // namespace TarnVerifyTrustDriver
