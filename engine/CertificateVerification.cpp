#include "engine/CertificateVerification.h"

#include <algorithm>

#include "catalog/FastPaths.h"
#include "catalog/MicrosoftCatalogCallback.h"
#include "catalog/ParseCatalogFile.h"
#include "catalog/VerificationCache.h"
#include "runtime/Allocator.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathProvider.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace toolkit = korva::toolkit;

constexpr toolkit::ProviderRecord kProviders[kCertContextProviderCount] = {
    {4, "In-memory database", toolkit::ImdbInit},
    {6, "Cert Path Processing Provider", toolkit::PathInit},
};

// A catalog callback as the store reads it.
class CallbackEvidence : public ICatalogEvidence, public TAllocator<CallbackEvidence> {
public:
    explicit CallbackEvidence(const TrustAnchorSet& anchors) : callback_(anchors) {}

    CMicrosoftCatalogCallback& callback() { return callback_; }

    bool ContentDigestMatched() const override { return callback_.ContentDigestMatched(); }
    bool SignerVerified() const override { return callback_.SignerVerified(); }
    bool SignerRejected() const override { return callback_.SignerRejected(); }
    const CMemory& SignerValue(uint32_t number) const override { return callback_.SignerValue(number); }
    uint32_t SignerFlags() const override { return callback_.SignerFlags(); }
    uint32_t TimeValue() const override { return callback_.TimeValue(); }
    uint32_t MemberCount() const override { return callback_.MemberCount(); }
    void Close() override { callback_.Close(); }
    const MemberHash& Member(uint32_t position) const override {
        const CatalogMember& member = callback_.Member(position);
        member_.length = member.length;
        std::copy_n(member.bytes, member.length, member_.bytes);
        return member_;
    }

private:
    CMicrosoftCatalogCallback callback_;
    mutable MemberHash member_;
};

}  // namespace

uint32_t CCertificateVerification::StartContext() { return context_.Start(kProviders); }

CCertificateVerification::~CCertificateVerification() { ReleaseTrustAnchors(); }

uint32_t CCertificateVerification::SetUpTrustAnchors() {
    uint32_t status = BuildTrustAnchorSet(anchors_, context_);
    // Without a cache every check is simply made again.
    if (status == 0 && anchors_.cache == nullptr && FastPathsEnabled()) anchors_.cache = new CVerificationCache;
    return status;
}

ICatalogVerifier* CCertificateVerification::AddWorkerVerifier() {
    auto* worker = new CCertificateVerification;
    if (worker == nullptr) return nullptr;
    worker->anchors_.extraRoots = anchors_.extraRoots;
    if (worker->StartContext() != kContextStarted || worker->SetUpTrustAnchors() != 0) {
        delete worker;
        return nullptr;
    }
    worker->nextWorker_ = nextWorker_;
    nextWorker_ = worker;
    return worker;
}

void CCertificateVerification::ReleaseTrustAnchors() {
    while (CCertificateVerification* worker = nextWorker_) {
        nextWorker_ = worker->nextWorker_;
        worker->nextWorker_ = nullptr;
        delete worker;
    }
    ReleaseTrustAnchorSet(anchors_);
    delete anchors_.cache;
    anchors_.cache = nullptr;
}

void CCertificateVerification::ResetContext() {
    context_.Reset();
    // A host that stays resident holds nothing for the files between cycles.
    readBuffer_.Release();
}

ICatalogEvidence* CCertificateVerification::CreateCallback(CCallbacks* callbacks) {
    return new (callbacks) CallbackEvidence(anchors_);
}

uint32_t CCertificateVerification::ParseCatalogFile(const wchar_t* path, ICatalogEvidence& callback,
                                                   CCallbacks* callbacks) {
    CatalogParseRecord record;
    return TarnVerifyTrustDriver::ParseCatalogFile(&record, callbacks, path,
                                                   &static_cast<CallbackEvidence&>(callback).callback(), &readBuffer_);
}

uint32_t CCertificateVerification::ParseCatalogFile(const wchar_t* path, ICatalogEvidence& callback,
                                                   CCallbacks* callbacks, StoppingNode& stop) {
    CStoppingNodeRecorder recorder(static_cast<CallbackEvidence&>(callback).callback(), stop);
    CatalogParseRecord record;
    return TarnVerifyTrustDriver::ParseCatalogFile(&record, callbacks, path, &recorder, &readBuffer_);
}

}  // namespace TarnVerifyTrustDriver
