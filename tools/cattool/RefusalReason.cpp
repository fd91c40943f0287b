#include "tools/cattool/RefusalReason.h"

#include <initializer_list>

#include "catalog/WalkResult.h"
#include "toolkit/Status.h"

namespace korva::cattool {

namespace {

namespace tvt = TarnVerifyTrustDriver;
using trace::Source;

// The catalog callback's events that name a refusal.
constexpr uint32_t kEventMoreThanOneTrustList = 211;
constexpr uint32_t kEventTooManyCertificates = 210;
constexpr uint32_t kEventSelfSignedLeftOut = 42;
constexpr uint32_t kEventDigestMismatch = 52;
constexpr uint32_t kEventSignerNotUnique = 65;
constexpr uint32_t kEventPathWithoutAnchor = 76;
constexpr uint32_t kEventPathInvalid = 78;
constexpr uint32_t kEventSignatureUnreadable = 93;
constexpr uint32_t kEventSignedDigestDiffers = 98;
constexpr uint32_t kEventRevocationListed = 106;
constexpr uint32_t kEventNoWindow = 195;
constexpr uint32_t kEventSignerInfoFieldExtra = 108;
// The chain's certificates, verified from the anchor down.
constexpr std::initializer_list<uint32_t> kEventsChainSignature = {86, 88, 90, 91};
// The walker's events: an element longer than what remains, nesting too deep.
constexpr uint32_t kEventHeaderUndecodable = 28;
constexpr uint32_t kEventPastEnd = 30;
constexpr uint32_t kEventTooDeep = 70;
// Where SignedData's fields sit: ContentInfo, its [0], SignedData, the field.
constexpr uint32_t kSignedDataFieldDepth = 3;
constexpr uint32_t kDigestAlgorithmsIndex = 1;
constexpr uint32_t kSignerInfoDepth = 4;
constexpr uint32_t kOutOfMemoryAnswer = 1000;

bool AnyTraced(const CatalogWalk& walk, Source source, std::initializer_list<uint32_t> numbers) {
    for (uint32_t number : numbers) {
        if (walk.Traced(source, number)) return true;
    }
    return false;
}

Refusal Named(const char* code, std::string words) { return {code, std::move(words)}; }

// The callback stopped the walk at an element: its events say why.
Refusal CallbackRefusal(const CatalogWalk& walk) {
    const tvt::StoppingNode& stop = walk.stop;
    if (stop.answer == kOutOfMemoryAnswer) return Named("out-of-memory", "the verifier ran out of memory");
    if (walk.Traced(Source::Callback, kEventTooManyCertificates)) {
        return Named("over-limit", "over a limit: the catalog carries more certificates than a catalog may (" +
                                       std::to_string(walk.TracedValue(Source::Callback, kEventTooManyCertificates, 0)) + ")");
    }
    // Once the signer is verified, what the chain and signature checks
    // traced was about the countersigner.
    if (walk.evidence != nullptr && walk.evidence->SignerVerified()) {
        if (walk.Traced(Source::Callback, kEventRevocationListed) &&
            (walk.evidence->SignerRejected() || !walk.Traced(Source::Callback, kEventNoWindow))) {
            return Named("revoked-signer", "revoked signer: the signer certificate is on the built-in revocation list and "
                                           "no valid countersignature dates the signature before its revocation");
        }
        return Named("countersignature-invalid", "countersignature or time-stamp invalid: it does not verify, so the "
                                                 "catalog is refused rather than left undated");
    }
    if (walk.Traced(Source::Callback, kEventDigestMismatch)) {
        return Named("content-digest-mismatch", "content digest mismatch: the member list is not the one that was signed");
    }
    if (walk.Traced(Source::Callback, kEventSignedDigestDiffers)) {
        return Named("attribute-digest-mismatch",
                     "attribute digest mismatch: the signature was made over other signed attributes than the catalog carries");
    }
    if (walk.Traced(Source::Callback, kEventSignatureUnreadable)) {
        return Named("bad-signature", "signature does not verify with the signer certificate's key");
    }
    if (walk.Traced(Source::Callback, kEventPathWithoutAnchor)) {
        return Named("untrusted-root", "signer chain does not reach a trusted root");
    }
    if (AnyTraced(walk, Source::Callback, kEventsChainSignature)) {
        return Named("chain-invalid", "signer chain invalid: a certificate of it does not verify with its issuer's key");
    }
    if (walk.Traced(Source::Callback, kEventPathInvalid)) {
        return Named("chain-invalid", "signer chain invalid: path processing refused it (status " +
                                          std::to_string(walk.TracedValue(Source::Callback, kEventPathInvalid, 0)) + ")");
    }
    if (walk.Traced(Source::Callback, kEventMoreThanOneTrustList) || stop.depth < kSignedDataFieldDepth) {
        return Named("not-a-catalog", "not a catalog: the file is no signed certificate trust list");
    }
    if (stop.depth == kSignedDataFieldDepth && stop.index == kDigestAlgorithmsIndex && stop.length == 0) {
        return Named("unsigned", "unsigned: the catalog names no digest algorithm and carries no signature");
    }
    if (walk.Traced(Source::Callback, kEventSignerInfoFieldExtra) || stop.depth >= kSignerInfoDepth) {
        return Named("malformed", "malformed: the signature's fields are not those of a catalog signer");
    }
    return Named("not-a-catalog", "not a catalog: its signed data has a field a catalog does not have, or lacks one");
}

// SignedData's field from the refused element's tag and place.
const char* SignedDataField(const tvt::StoppingNode& stop) {
    const bool context = (stop.tagClass & 0xC0) == 0x80;
    if (context) return stop.tag == 0 ? "certificates" : "crls";
    if (stop.tag == 2) return "version";
    if (stop.tag == 16) return "contentInfo";
    if (stop.tag == 17) return stop.index <= 1 ? "digestAlgorithms" : "signerInfos";
    return "unknown";
}

}  // namespace

std::string VerdictClass(const CatalogWalk& walk, const char* verdict) {
    if (walk.Traced(Source::Callback, kEventPathWithoutAnchor)) return "chain-not-to-list1";
    if (walk.walkResult == tvt::kWalkSucceeded && walk.Traced(Source::Callback, kEventSelfSignedLeftOut) &&
        walk.evidence != nullptr && !walk.evidence->SignerVerified()) {
        return "signer-self-signed";
    }
    if (walk.stop.seen && walk.stop.depth == kSignedDataFieldDepth) {
        return std::string("unsigned:shape:") + SignedDataField(walk.stop);
    }
    return verdict;
}

Refusal ClassifyWalk(const CatalogWalk& walk) {
    switch (walk.walkResult) {
    case tvt::kWalkCannotOpen:
    case tvt::kWalkCannotRead: return Named("unreadable", "the file cannot be read");
    case tvt::kWalkEmptyFile: return Named("truncated", "truncated: the file is empty");
    case tvt::kWalkOutOfMemory: return Named("out-of-memory", "the verifier ran out of memory");
    default: break;
    }
    if (walk.evidence == nullptr) return Named("out-of-memory", "no catalog callback could be made");
    if (walk.walkResult != tvt::kWalkSucceeded) {
        if (walk.Traced(Source::Asn1, kEventTooDeep)) {
            return Named("over-limit", "over a limit: the encoding nests deeper than the walker follows");
        }
        if (walk.stop.seen) return CallbackRefusal(walk);
        if (walk.Traced(Source::Asn1, kEventPastEnd) ||
            walk.TracedValue(Source::Asn1, kEventHeaderUndecodable, 0) == korva::toolkit::kInputTruncated) {
            return Named("truncated", "truncated: an element runs past the end of the file");
        }
        return Named("malformed", "malformed: the file breaks the encoding rules of DER");
    }
    const tvt::ICatalogEvidence& evidence = *walk.evidence;
    if (!evidence.ContentDigestMatched()) {
        return Named("content-digest-mismatch", "content digest mismatch: no signed message digest matches the member list");
    }
    if (!evidence.SignerVerified()) {
        if (walk.Traced(Source::Callback, kEventSelfSignedLeftOut)) {
            return Named("self-signed-signer", "untrusted self-signed signer: the signer certificate signs itself, and only "
                                               "the built-in roots may");
        }
        if (walk.Traced(Source::Callback, kEventSignerNotUnique)) {
            return Named("signer-certificate-missing",
                         "signer certificate missing: the catalog does not carry exactly one certificate of the signer "
                         "it names");
        }
        return Named("unsigned", "unsigned: no signer of the catalog was verified");
    }
    if (evidence.SignerRejected()) {
        return Named("revoked-signer", "revoked signer: the signer certificate is on the built-in revocation list");
    }
    return {};
}

}  // namespace korva::cattool
