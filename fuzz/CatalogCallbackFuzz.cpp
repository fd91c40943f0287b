// Any bytes through the walker with the catalog callback: the walk must end
// with a walk result, what the callback reports must hang together, and every
// member it collects must lie inside the trust list octets it digested.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "catalog/CertContext.h"
#include "catalog/CertResult.h"
#include "catalog/MicrosoftCatalogCallback.h"
#include "catalog/ParseAsn1.h"
#include "catalog/TrustAnchorSet.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathProvider.h"

namespace {

using namespace TarnVerifyTrustDriver;

// The built-in roots, built once for the whole run.
const TrustAnchorSet& Anchors() {
    static CCertContext context;
    static TrustAnchorSet set;
    static const bool built = [] {
        static const korva::toolkit::ProviderRecord kProviders[] = {
            {4, "In-memory Database", korva::toolkit::ImdbInit},
            {6, "Cert Path Processing Provider", korva::toolkit::PathInit}};
        return context.Start(kProviders) == kCertSuccess && BuildTrustAnchorSet(set, context) == 0;
    }();
    if (!built) std::abort();
    return set;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    CMicrosoftCatalogCallback callback(Anchors());
    if (callback.OnParseBegin() != 0) std::abort();
    ParserStack stack;
    uint32_t walk = ParseAsn1(nullptr, &stack, data, static_cast<uint32_t>(size), &callback);
    if (walk != kWalkSuccess && walk != kWalkRejected && walk != kWalkOutOfMemory) std::abort();
    // Only the digested trust list vouches: every member is octets of it.
    for (uint32_t i = 0; i < callback.MemberCount(); ++i) {
        const CatalogMember* m = &callback.Member(i);
        if (m->length != 20 && m->length != 32) std::abort();
        if (m->offset < callback.DigestedBegin() || uint64_t{m->offset} + m->length > callback.DigestedEnd() ||
            std::memcmp(data + m->offset, m->bytes, m->length) != 0) {
            std::abort();
        }
    }
    // A verified signer has a serial number and flags with the always-set bits.
    if (callback.SignerVerified() && (callback.SignerValue(3).empty() || (callback.SignerFlags() & 0x11000) != 0x11000)) {
        std::abort();
    }
    return 0;
}
