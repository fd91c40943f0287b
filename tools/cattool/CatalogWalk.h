// One catalog walked with the engine's own verifier, with everything the walk
// traced kept, so that a command can say why the catalog was refused.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "catalog/Asn1NodeCallback.h"
#include "catalog/StoppingNode.h"
#include "engine/CatalogEvidence.h"
#include "engine/CertificateVerification.h"
#include "platform/Trace.h"

namespace korva::cattool {

// One event the walk traced, at information level or above.
struct WalkEvent {
    trace::Source source = trace::Source::Engine;
    uint32_t number = 0;
    trace::Level level = trace::Level::Information;
    std::vector<uint64_t> values;
    std::string text;
};

struct CatalogWalk {
    std::wstring path;
    uint32_t walkResult = 0;
    TarnVerifyTrustDriver::StoppingNode stop;
    std::vector<WalkEvent> events;
    std::unique_ptr<TarnVerifyTrustDriver::ICatalogEvidence> owned;
    const TarnVerifyTrustDriver::ICatalogEvidence* evidence = nullptr;  // null when none could be made

    bool Traced(trace::Source source, uint32_t number) const;
    // The first value of the first such event, or `otherwise`.
    uint64_t TracedValue(trace::Source source, uint32_t number, uint64_t otherwise) const;
};

// Reads a catalog file whole; false when it cannot be read or is beyond
// what the walker takes.
bool ReadCatalogFile(const std::wstring& path, std::vector<uint8_t>& bytes);
// Walks `catalog`'s bytes with `callback`, for the commands' own readers of
// what a catalog carries; the walk result.
uint32_t WalkCatalogBytes(std::span<const uint8_t> catalog, TarnVerifyTrustDriver::IAsn1NodeCallback& callback);

// Walks `path` with a fresh callback of `verification`, whose trust anchors
// the caller has set up.
void WalkCatalog(TarnVerifyTrustDriver::CCertificateVerification& verification, const std::wstring& path,
                 CatalogWalk& walk);
// The same with a callback the caller owns; the walk result.
uint32_t WalkCatalogWith(TarnVerifyTrustDriver::CCertificateVerification& verification, const std::wstring& path,
                         TarnVerifyTrustDriver::ICatalogEvidence& callback, CatalogWalk& walk);

}  // namespace korva::cattool
