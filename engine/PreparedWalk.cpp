#include "engine/PreparedWalk.h"

namespace TarnVerifyTrustDriver {

void PreparedWalk::Walk(ICatalogVerifier& verifier, const wchar_t* path, CCallbacks* callbacks) {
    callback_ = verifier.CreateCallback(callbacks);
    if (callback_ != nullptr) result_ = verifier.ParseCatalogFile(path, *callback_, callbacks);
    walked_ = true;
}

ICatalogEvidence* PreparedWalk::Take(uint32_t& result) {
    events_.Replay();
    result = result_;
    walked_ = false;
    return callback_;
}

void PreparedWalk::Discard() {
    {
        // Whatever freeing the callback reports belongs to a walk nobody asked for.
        korva::trace::Buffer dropped;
        korva::trace::Capture capture(&dropped);
        delete callback_;
    }
    callback_ = nullptr;
    walked_ = false;
    events_.Clear();
}

ICatalogEvidence* PreparedWalk::Release() {
    ICatalogEvidence* callback = callback_;
    callback_ = nullptr;
    walked_ = false;
    events_.Clear();
    return callback;
}

}  // namespace TarnVerifyTrustDriver
