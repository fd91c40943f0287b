// The callback that checks one catalog file while the walker streams it: the
// shape of a PKCS #7 SignedData over a certificate trust list, the content
// and attribute digests, the signer's chain up to a built-in root and its RSA
// signature, a countersignature or RFC 3161 time-stamp, and what the catalog
// store keeps: member hashes, four signer values, signer flags and a time.
#pragma once

#include <cstdint>

#include "catalog/Asn1NodeCallback.h"
#include "catalog/CertContext.h"
#include "catalog/CertDigest.h"
#include "platform/NoInline.h"
#include "runtime/Memory.h"

namespace korva::toolkit {
struct CertObject;
struct NameObject;
struct ObjectList;
struct ServiceBinding;
struct ToolkitContext;
}

namespace TarnVerifyTrustDriver {

class CCertKey;
struct TrustAnchorSet;

// One member hash of the trust list. Left uninitialised on purpose: a chunk
// of members is written only as far as members arrive.
struct CatalogMember {
    static constexpr uint32_t kMaxLength = 32;
    uint8_t bytes[kMaxLength];
    uint32_t length;
    uint32_t offset;  // of the hash octets in the catalog file
};

class CMicrosoftCatalogCallback : public IAsn1NodeCallback, public TAllocator<CMicrosoftCatalogCallback> {
public:
    // Certificates one catalog may carry, its time-stamp token's included.
    // Real catalogs carry a handful; issuer lookups go through the
    // database's index, so the cost grows with their number, not its
    // square, and memory bounds a catalog long before this count does.
    static constexpr uint32_t kMaxCertificates = 1u << 20;

    // Signers are validated against the set's code-signing anchors,
    // countersigners also against its second list; the set must outlive
    // the callback.
    explicit CMicrosoftCatalogCallback(const TrustAnchorSet& anchors);
    ~CMicrosoftCatalogCallback() override;
    CMicrosoftCatalogCallback(const CMicrosoftCatalogCallback&) = delete;
    CMicrosoftCatalogCallback& operator=(const CMicrosoftCatalogCallback&) = delete;

    // 0 ready, 2 the certificate context cannot be set up, 1000 out of memory.
    uint32_t OnParseBegin() override;
    // Lets the signer keys and the database binding go, with their events;
    // the destructor does it unless done.
    void Close();
    // 0 go on, 2 reject, 1000 out of memory.
    uint32_t OnNode(Asn1Node& node) override;

    // What the store reads after a walk that returned 1.
    bool ContentDigestMatched() const { return contentDigestMatched_; }
    bool SignerVerified() const { return signerVerified_; }
    bool SignerRejected() const { return signerRejected_; }
    bool CountersignatureVerified() const { return countersignatureVerified_; }
    bool CountersignatureInvalid() const { return countersignatureInvalid_; }
    // Values 1 to 4: subject name text, issuer name text (both NUL-terminated),
    // serial number octets, SHA-1 of the signer certificate.
    const CMemory& SignerValue(uint32_t number) const;
    uint32_t SignerFlags() const { return signerFlags_; }
    uint32_t TimeValue() const { return timeValue_; }
    uint32_t MemberCount() const { return memberCount_; }
    // File offsets [begin, end) of the trust list's content octets that the
    // content digest covered; both 0 before it was digested.
    uint64_t DigestedBegin() const { return trustList_.begin; }
    uint64_t DigestedEnd() const { return trustList_.end; }
    // The member at `position` in document order; `position` is below
    // MemberCount().
    const CatalogMember& Member(uint32_t position) const;

private:
    // What verifying one signer's certificate and signature came to;
    // NoPath: no path to the anchors could be built.
    enum class SignerOutcome { Verified, NotFound, NoPath, Failed, OutOfMemory };

    // The content octets of one element, by file offset: what a digest
    // covers, and so the only place its values may come from.
    struct SignedRange {
        uint64_t begin = 0;
        uint64_t end = 0;
        void Cover(const Asn1Node& node);
        bool Holds(const Asn1Node& node) const;
    };

    // OnNode for every node but the members' below the trust list.
    KORVA_NO_INLINE uint32_t OnPhaseNode(Asn1Node& node);
    uint32_t TrackPhase(Asn1Node& node);
    uint32_t DigestContent(const Asn1Node& node);
    uint32_t CollectCertificate(const Asn1Node& node);
    // 0 unless a different certificate with the same issuer and serial is
    // in the database already (reject) or the lookup fails.
    uint32_t RefuseIssuerSerialClash(korva::toolkit::CertObject* certificate);
    uint32_t DigestAttributes(const Asn1Node& node);
    uint32_t CheckMessageDigest(const Asn1Node& node);
    uint32_t ReadSignerInfo(const Asn1Node& node);
    uint32_t VerifySignature(const Asn1Node& node);
    // Value 4: the SHA-1 of the signer certificate's encoding once it is
    // found canonical. A CCertDigest result.
    uint32_t SignerCertificateDigest(korva::toolkit::CertObject* certificate);
    uint32_t CollectMemberHash(const Asn1Node& node);
    // The members' elements the walk reports: OIDs, which arm, and OCTET
    // STRINGs while armed, which take the hash. Kept in the interest as the
    // expectation changes.
    uint32_t MemberTags() const;
    void ExpectHash(bool armed);
    uint32_t CopyCountersignatureDigest(const Asn1Node& node);
    uint32_t ReadTimeStampContent(Asn1Node& node);
    uint32_t DigestCountersignatureAttributes(const Asn1Node& node);
    uint32_t ReadSigningTime(const Asn1Node& node);
    uint32_t VerifyCountersignature(const Asn1Node& node);
    // 0 go on, 2 reject: what the verdicts so far leave of the walk; nothing
    // ends it before the signer is verified.
    uint32_t DecideAfterNode() const { return signerVerified_ ? DecideAfterVerifiedSigner() : 0; }
    KORVA_NO_INLINE uint32_t DecideAfterVerifiedSigner() const;

    bool CountersignaturePhase() const;
    uint32_t SetFlags(korva::toolkit::CertObject* certificate);
    uint32_t ReadIssuerAndSerial(const Asn1Node& node, korva::toolkit::NameObject*& issuer, CMemory& serial);
    SignerOutcome SelectSigner(const korva::toolkit::NameObject* issuer, const CMemory& serial,
                               korva::toolkit::ObjectList*& found, korva::toolkit::CertObject*& certificate);
    SignerOutcome VerifyChainAndSignature(korva::toolkit::CertObject* certificate, const Asn1Node& encryptedDigest,
                                          const CCertDigest& expected, bool secondListToo);
    SignerOutcome VerifyPath(korva::toolkit::CertObject* certificate, korva::toolkit::ObjectList* anchors,
                             CCertKey& key);
    bool CountersignedDigestsMatch();
    uint32_t FinishCountersignature(const Asn1Node& encryptedDigest);
    void ReleaseSignerKeys();
    void ReleaseMembers();
    // A member from the current chunk, a fresh chunk when it is full; null
    // out of memory. `offset`: the member's in the file.
    CatalogMember* NewMember(uint32_t offset);
    uint32_t NextChunkMembers(uint32_t offset) const;

    // Members come in chunks, each at least four times the one before and
    // after the first one sized to the members still to come: a catalog of
    // 100,000 members costs two allocations, and its large chunk lies on
    // large pages, which fresh memory faults in a few at a time instead of
    // one per small page. Eleven chunks hold more members than a catalog of
    // 4 GB can list.
    static constexpr uint32_t kFirstChunkMembers = 256;
    static constexpr uint32_t kMemberChunks = 11;
    // 10 MB: a guess never costs a host more address space than that.
    static constexpr uint32_t kMaxEstimatedMembers = 1u << 18;
    static uint32_t ChunkMembers(uint32_t chunk) { return kFirstChunkMembers << (2 * chunk); }
    struct MemberChunk {
        void* block = nullptr;  // as allocated
        CatalogMember* members = nullptr;
        uint32_t capacity = 0;
    };

    const TrustAnchorSet& anchors_;
    uint32_t memberCount_ = 0;
    MemberChunk memberChunks_[kMemberChunks];
    uint32_t chunksUsed_ = 0;
    CatalogMember* nextMember_ = nullptr;  // in the last chunk; null or at its end when it is full
    CatalogMember* chunkEnd_ = nullptr;
    CMemory signerValues_[4];
    uint32_t timeValue_ = 0;
    uint32_t signerFlags_ = 0;

    uint32_t phase_ = 0;
    uint32_t certificates_ = 0;
    uint32_t signerStep_ = 0;
    uint32_t timeStampStep_ = 0;
    uint32_t counterStep_ = 0;
    CCertContext certContext_;
    korva::toolkit::ServiceBinding* database_ = nullptr;

    korva::toolkit::NameObject* signerIssuer_ = nullptr;
    CMemory signerSerial_;
    korva::toolkit::NameObject* counterIssuer_ = nullptr;
    CMemory counterSerial_;

    uint32_t digestId_ = 0;
    uint32_t counterDigestId_ = 0;
    uint32_t imprintDigestId_ = 0;
    CCertDigest contentDigest_;
    CCertDigest attributesDigest_;
    CCertDigest counterAttributesDigest_;
    CCertDigest signerDigest_;
    bool attributesDigestReady_ = false;
    bool counterAttributesDigestReady_ = false;

    CMemory encryptedDigest_;
    CMemory timeStampContent_;
    CMemory counterMessageDigest_;
    CMemory hashedMessage_;

    uint64_t signingTime_ = 0;
    uint64_t windowStart_ = 0;
    uint64_t windowEnd_ = 0;
    uint32_t endOffset_ = 0;

    bool contentDigestMatched_ = false;
    bool signerVerified_ = false;
    bool countersignatureVerified_ = false;
    bool signerRejected_ = false;
    bool countersignatureInvalid_ = false;
    bool timeStampMode_ = false;
    bool expectHash_ = false;

    // What the content digest, the signer's attributes digest, the
    // countersigner's attributes digest and the time-stamp token's TSTInfo
    // copy cover: the values read from them are taken there and nowhere else.
    SignedRange trustList_;
    SignedRange signedAttributes_;
    SignedRange counterAttributes_;
    SignedRange timeStampInfo_;
};

}  // namespace TarnVerifyTrustDriver
