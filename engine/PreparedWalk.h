// One catalog file walked by a verifier: the callback after its walk, the walk
// result and, when the walk ran on a worker thread, the trace events it
// emitted, held until the store takes the catalog in.
#pragma once

#include <cstdint>

#include "engine/CatalogEvidence.h"
#include "platform/TraceBuffer.h"

namespace TarnVerifyTrustDriver {

class PreparedWalk {
public:
    PreparedWalk() = default;
    ~PreparedWalk() { Discard(); }
    PreparedWalk(const PreparedWalk&) = delete;
    PreparedWalk& operator=(const PreparedWalk&) = delete;

    // Makes a callback and walks `path` with it; the callback stays null
    // when it cannot be made, and then nothing is walked.
    void Walk(ICatalogVerifier& verifier, const wchar_t* path, CCallbacks* callbacks);
    bool walked() const { return walked_; }
    // Emits the held events, then lends the callback (null when it could not
    // be made); it stays here until Discard or Release.
    ICatalogEvidence* Take(uint32_t& result);
    // Drops the events and deletes the callback, emitting nothing.
    void Discard();
    // Drops the events and hands the callback over to be deleted elsewhere.
    ICatalogEvidence* Release();

    korva::trace::Buffer& events() { return events_; }

private:
    ICatalogEvidence* callback_ = nullptr;
    uint32_t result_ = 0;
    bool walked_ = false;
    korva::trace::Buffer events_;
};

}  // namespace TarnVerifyTrustDriver
