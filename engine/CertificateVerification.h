// The verification of a real run: the certificate context with the toolkit's
// in-memory database and path processing providers, the trust anchor set of
// the built-in roots, and the ASN.1 walker driving a fresh catalog callback
// per catalog file.
#pragma once

#include "catalog/CatalogReadBuffer.h"
#include "catalog/CertContext.h"
#include "catalog/StoppingNode.h"
#include "catalog/TrustAnchorSet.h"
#include "engine/CatalogVerification.h"
#include "runtime/Allocator.h"

namespace TarnVerifyTrustDriver {

class CCertificateVerification : public ICatalogVerification,
                                 public ICatalogVerifier,
                                 public TAllocator<CCertificateVerification> {
public:
    CCertificateVerification() = default;
    ~CCertificateVerification() override;
    CCertificateVerification(const CCertificateVerification&) = delete;
    CCertificateVerification& operator=(const CCertificateVerification&) = delete;

    uint32_t StartContext() override;
    // Also starts the cache of checks made against the set, which lives as
    // long as the set.
    uint32_t SetUpTrustAnchors() override;
    ICatalogVerifier& Verifier() override { return *this; }
    ICatalogVerifier* AddWorkerVerifier() override;
    void ReleaseTrustAnchors() override;
    void ResetContext() override;
    // Roots trusted beside the built-in ones from the next SetUpTrustAnchors
    // on; owned by the caller. Only the companion tool's test-root build asks.
    void TrustExtraRoots(CExtraRoots* roots) { anchors_.extraRoots = roots; }

    ICatalogEvidence* CreateCallback(CCallbacks* callbacks) override;
    uint32_t ParseCatalogFile(const wchar_t* path, ICatalogEvidence& callback, CCallbacks* callbacks) override;
    // The same walk, also recording the element the callback refused first.
    uint32_t ParseCatalogFile(const wchar_t* path, ICatalogEvidence& callback, CCallbacks* callbacks,
                              StoppingNode& stop);

private:
    CCertContext context_;
    TrustAnchorSet anchors_;
    // This verifier walks on one thread at a time, reading every file here.
    CatalogReadBuffer readBuffer_;
    // The worker verifiers set up since the anchors, newest first.
    CCertificateVerification* nextWorker_ = nullptr;
};

}  // namespace TarnVerifyTrustDriver
