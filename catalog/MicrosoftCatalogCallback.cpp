#include "catalog/MicrosoftCatalogCallback.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "catalog/AlgorithmReaders.h"
#include "catalog/CatalogNameText.h"
#include "catalog/CatalogSigningTime.h"
#include "catalog/CertDecrypt.h"
#include "catalog/CertDigestInfo.h"
#include "catalog/CertKey.h"
#include "catalog/CertResult.h"
#include "catalog/KnownOids.h"
#include "catalog/SignerChecks.h"
#include "catalog/TrustAnchorSet.h"
#include "catalog/VerificationCache.h"
#include "platform/ByteReader.h"
#include "platform/LargePages.h"
#include "platform/Trace.h"
#include "toolkit/Certificate.h"
#include "toolkit/DatabaseRequests.h"
#include "toolkit/Dispatch.h"
#include "toolkit/ExtensionList.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/Imdb.h"
#include "toolkit/Name.h"
#include "toolkit/ObjectList.h"
#include "toolkit/PathParams.h"
#include "toolkit/PathProvider.h"
#include "toolkit/ServiceBinding.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace tk = korva::toolkit;
namespace trace = korva::trace;
using korva::platform::ByteSpan;
using trace::Level;
using trace::Num;

constexpr uint32_t kReject = 2;
constexpr uint32_t kOutOfMemory = kNodeOutOfMemory;

constexpr uint32_t kTagInteger = 2;
constexpr uint32_t kTagOctetString = 4;
constexpr uint32_t kTagOid = 6;
constexpr uint32_t kTagSequence = 16;
constexpr uint32_t kTagSet = 17;
constexpr uint32_t kTagUtcTime = 23;
constexpr uint32_t kTagGeneralizedTime = 24;

// Phases of the walk through the SignedData.
constexpr uint32_t kPhaseVersion = 1;
constexpr uint32_t kPhaseDigestAlgorithms = 2;
constexpr uint32_t kPhaseContent = 3;
constexpr uint32_t kPhaseCertificates = 4;
constexpr uint32_t kPhaseSignerInfos = 5;
constexpr uint32_t kPhaseUnauthenticated = 6;
constexpr uint32_t kPhaseTimeStampToken = 7;
constexpr uint32_t kPhaseCountersigner = 8;
constexpr uint32_t kPhaseRefused = 10;
// The depth of the trust list's own elements; the members lie deeper.
constexpr uint32_t kMemberDepth = 6;

// Steps through an RFC 3161 token: its TSTInfo copied, its imprint read,
// its generation time read.
constexpr uint32_t kStampContent = 3;
constexpr uint32_t kStampImprint = 4;
constexpr uint32_t kStampTime = 8;

// Signer flags.
constexpr uint32_t kFlagCodeSigning = 7;
constexpr uint32_t kFlagSigningUnit = 5;
constexpr uint32_t kFlagAlways = 0x11000;
constexpr uint32_t kFlagChecked = 0x20000;
constexpr uint32_t kFlagMaker = 0x8008;
constexpr uint32_t kFlagMakerIdentity = 0x8010;
constexpr uint32_t kFlagSystemComponent = 0x20;
constexpr uint32_t kFlagHardwareDriver = 0x40;

// Path request: chain only, without signature, validity or status checks;
// the chain's signatures are checked here, top down.
constexpr uint32_t kPathFlags = tk::kPathNoSignatures | tk::kPathNoValidity | tk::kPathNoStatus;
constexpr tk::Status kPathNoAnchor = 1872;

constexpr uint32_t kNoWindow = 0;
constexpr uint64_t kAbsentWindow = ~0ull;

// 1.2.840.113549.1.9.16.1.4, the content type of a TSTInfo, as encoded.
constexpr uint8_t kTstInfoOid[] = {0x06, 0x0B, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x01, 0x04};
constexpr uint8_t kSha1Oid[] = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
constexpr uint8_t kSha256Oid[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
// Extended key usage purposes the signer flags look for.
constexpr uint8_t kExtKeyUsageOid[] = {0x55, 0x1D, 0x25};
constexpr uint8_t kCodeSigningOid[] = {0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x03};
constexpr uint8_t kSystemComponentOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0A, 0x03, 0x06};
constexpr uint8_t kHardwareDriverOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0A, 0x03, 0x05};

void Emit(uint32_t number, Level level, std::initializer_list<trace::Value> values = {}) {
    trace::Emit(trace::Source::Callback, number, level, values);
}

bool Is(const Asn1Node& node, uint32_t tagClass, bool constructed, uint32_t tag) {
    return node.Class() == tagClass && node.Constructed() == constructed && node.tag == tag;
}
bool IsUniversal(const Asn1Node& node, bool constructed, uint32_t tag) {
    return Is(node, kAsn1Universal, constructed, tag);
}
bool IsContextConstructed(const Asn1Node& node, uint32_t tag) { return Is(node, kAsn1ContextSpecific, true, tag); }
bool Has(const Asn1Node& node, uint32_t flags) { return (node.oidFlags & flags) == flags; }
bool HasNone(const Asn1Node& node, uint32_t flags) { return (node.oidFlags & flags) == 0; }

ByteSpan Content(const Asn1Node& node) { return {node.value, node.len}; }
ByteSpan Whole(const Asn1Node& node) { return {node.start, node.headerLength + node.len}; }

bool Equal(ByteSpan a, ByteSpan b) { return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin()); }

bool IsKnownDigestLength(uint32_t length) { return CCertDigest::CInfo::ByDigestLength(length).id() != 0; }

// Out of memory for the toolkit's status, otherwise a rejection.
uint32_t NodeResultOf(tk::Status status) {
    return CertResultOf(status) == kCertOutOfMemory ? kOutOfMemory : kReject;
}
uint32_t NodeResultOfCert(uint32_t result) { return result == kCertOutOfMemory ? kOutOfMemory : kReject; }

bool Copy(CMemory& target, ByteSpan bytes) {
    if (!target.Allocate(static_cast<uint32_t>(bytes.size()))) return bytes.empty();
    std::copy(bytes.begin(), bytes.end(), target.data());
    return true;
}

// One digest of `bytes` under algorithm `id` into `digest`: a CCertDigest result.
uint32_t DigestOf(uint32_t id, ByteSpan bytes, CCertDigest& digest) {
    uint32_t result = digest.Init(id);
    if (result == kCertSuccess) result = digest.Update(bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (result == kCertSuccess) result = digest.Final();
    return result;
}

// A certificate's signature under `key`, answered by the cache when the same
// key checked the same encoding before. The encoding is read as stored:
// asking for it through the toolkit would run its canonical check here.
tk::Status CheckSignature(CVerificationCache* cache, tk::CertObject* certificate, const CCertKey& key) {
    if (cache == nullptr || key.spki().empty() || !tk::IsCertificate(certificate) || certificate->encoding == nullptr) {
        return tk::CertVerifySignature(certificate, key.key());
    }
    ByteSpan der(certificate->encoding, certificate->encodingLength);
    tk::Status status = tk::kOk;
    if (cache->FindCheck(key.spki(), der, status)) return status;
    status = tk::CertVerifySignature(certificate, key.key());
    cache->KeepCheck(key.spki(), der, status);
    return status;
}

// Owns a toolkit object list for one scope.
struct ListHolder {
    tk::ObjectList* list = nullptr;
    ~ListHolder() { tk::ObjectListFree(&list); }
};

// Whether the extended key usage lists the purpose `oid`.
bool ListsPurpose(const tk::OidListValue* usage, ByteSpan oid) {
    if (usage == nullptr) return false;
    for (uint32_t i = 0; i < usage->count; ++i) {
        if (Equal({usage->oids[i].data, usage->oids[i].length}, oid)) return true;
    }
    return false;
}

}  // namespace

void CMicrosoftCatalogCallback::SignedRange::Cover(const Asn1Node& node) {
    begin = uint64_t{node.offset} + node.headerLength;
    end = begin + node.len;
}

bool CMicrosoftCatalogCallback::SignedRange::Holds(const Asn1Node& node) const {
    return node.offset >= begin && uint64_t{node.offset} + node.headerLength + node.len <= end;
}

CMicrosoftCatalogCallback::CMicrosoftCatalogCallback(const TrustAnchorSet& anchors) : anchors_(anchors) {}

CMicrosoftCatalogCallback::~CMicrosoftCatalogCallback() {
    Close();
    ReleaseMembers();
}

void CMicrosoftCatalogCallback::Close() {
    ReleaseSignerKeys();
    if (database_ != nullptr && tk::ServiceUnbind(&database_) != tk::kOk) Emit(15, Level::Warning);
    database_ = nullptr;  // reported once, whatever the unbinding said
}

void CMicrosoftCatalogCallback::ReleaseSignerKeys() {
    if (signerIssuer_ != nullptr) Emit(16, Level::Information);
    tk::NameFree(&signerIssuer_);
    tk::NameFree(&counterIssuer_);
    if (!signerSerial_.empty()) Emit(18, Level::Information);
    signerSerial_.Free();
    counterSerial_.Free();
}

void CMicrosoftCatalogCallback::ReleaseMembers() {
    for (uint32_t chunk = 0; chunk < chunksUsed_; ++chunk) {
        FreeBuffer(memberChunks_[chunk].block);
        memberChunks_[chunk] = MemberChunk{};
    }
    chunksUsed_ = 0;
    nextMember_ = chunkEnd_ = nullptr;
    memberCount_ = 0;
}

uint32_t CMicrosoftCatalogCallback::NextChunkMembers(uint32_t offset) const {
    uint32_t members = ChunkMembers(chunksUsed_);
    // The rest of the trust list at the density met so far, and a little
    // more: a catalog of many members gets a chunk that fits them all,
    // instead of a tail of chunks whose last large page is mostly unused.
    uint64_t read = offset - trustList_.begin;
    if (memberCount_ == 0 || read == 0) return members;
    uint64_t rest = (trustList_.end - offset) * memberCount_ / read;
    rest = std::min<uint64_t>(rest + rest / 32 + 1, kMaxEstimatedMembers);
    return std::max(members, static_cast<uint32_t>(rest));
}

CatalogMember* CMicrosoftCatalogCallback::NewMember(uint32_t offset) {
    if (nextMember_ == chunkEnd_) {
        if (chunksUsed_ == kMemberChunks) return nullptr;
        uint32_t members = NextChunkMembers(offset);
        uint64_t octets = uint64_t{members} * sizeof(CatalogMember);
        if (octets > SIZE_MAX / 2) return nullptr;  // more than a 32-bit host holds
        auto size = static_cast<size_t>(octets);
        size_t blockSize = size + korva::platform::LargePageSlack(size);
        void* block = AllocateBuffer(blockSize);
        if (block == nullptr) return nullptr;
        auto* chunk = reinterpret_cast<CatalogMember*>(korva::platform::PlaceOnLargePages(block, blockSize, size));
        memberChunks_[chunksUsed_++] = MemberChunk{block, chunk, members};
        nextMember_ = chunk;
        chunkEnd_ = chunk + members;
    }
    return new (nextMember_++) CatalogMember;
}

const CMemory& CMicrosoftCatalogCallback::SignerValue(uint32_t number) const {
    static const CMemory kEmpty;
    return number >= 1 && number <= 4 ? signerValues_[number - 1] : kEmpty;
}

const CatalogMember& CMicrosoftCatalogCallback::Member(uint32_t position) const {
    uint32_t chunk = 0;
    while (position >= memberChunks_[chunk].capacity) position -= memberChunks_[chunk++].capacity;
    return memberChunks_[chunk].members[position];
}

uint32_t CMicrosoftCatalogCallback::OnParseBegin() {
    phase_ = 0;
    interest_ = NodeInterest{};
    signerStep_ = 0;
    counterStep_ = 0;
    expectHash_ = false;
    timeStampMode_ = false;
    timeStampStep_ = 0;
    endOffset_ = 0;
    trustList_ = signedAttributes_ = counterAttributes_ = timeStampInfo_ = SignedRange{};
    ReleaseSignerKeys();
    digestId_ = counterDigestId_ = imprintDigestId_ = 0;
    if (database_ != nullptr) tk::ServiceUnbind(&database_);
    static const tk::ProviderRecord kRecords[] = {{4, "In-memory Database", tk::ImdbInit},
                                                  {6, "Cert Path Processing Provider", tk::PathInit}};
    if (uint32_t result = certContext_.Start(kRecords); result != kCertSuccess) {
        Emit(19, Level::Warning, {Num(result)});
        return NodeResultOfCert(result);
    }
    if (tk::Status status = tk::ServiceBindOne(certContext_.context(), 4, "In-memory Database", &database_);
        status != tk::kOk) {
        Emit(20, Level::Warning, {Num(status)});
        return NodeResultOf(status);
    }
    signingTime_ = 0;
    windowStart_ = windowEnd_ = kNoWindow;
    contentDigestMatched_ = signerVerified_ = countersignatureVerified_ = false;
    signerRejected_ = countersignatureInvalid_ = false;
    attributesDigestReady_ = counterAttributesDigestReady_ = false;
    return 0;
}

uint32_t CMicrosoftCatalogCallback::OnNode(Asn1Node& node) {
    // The members, nearly every node of a large catalog: below the trust
    // list's own level no phase changes and nothing but their hashes counts.
    // The other nodes are handled apart, so that the registers their
    // handling saves are not saved for every member's node too.
    if (phase_ == kPhaseContent && node.depth >= kMemberDepth) {
        // Only an OID arms, and only an armed expectation takes a hash: most
        // members' nodes are neither, and CollectMemberHash would pass them.
        if (!expectHash_ && node.tag != kTagOid) return DecideAfterNode();
        if (uint32_t result = CollectMemberHash(node); result != 0) return result;
        return DecideAfterNode();
    }
    return OnPhaseNode(node);
}

uint32_t CMicrosoftCatalogCallback::OnPhaseNode(Asn1Node& node) {
    using Handler = uint32_t (CMicrosoftCatalogCallback::*)(const Asn1Node&);
    if (uint32_t result = TrackPhase(node); result != 0) return result;
    interest_ = phase_ == kPhaseContent ? NodeInterest{kMemberDepth, MemberTags()} : NodeInterest{};
    // Most nodes lie in the content (the members) and the certificates, and
    // there only one or two handlers act, called directly; the others all
    // wait for the signer infos, and before the content nothing acts.
    switch (phase_) {
    case kPhaseContent:
        if (uint32_t result = DigestContent(node); result != 0) return result;
        if (uint32_t result = CollectMemberHash(node); result != 0) return result;
        return DecideAfterNode();
    case kPhaseCertificates:
        if (uint32_t result = CollectCertificate(node); result != 0) return result;
        return DecideAfterNode();
    default:
        if (phase_ < kPhaseSignerInfos) return DecideAfterNode();
        break;
    }
    static constexpr Handler kStopping[] = {
        &CMicrosoftCatalogCallback::DigestContent,     &CMicrosoftCatalogCallback::CollectCertificate,
        &CMicrosoftCatalogCallback::DigestAttributes,  &CMicrosoftCatalogCallback::CheckMessageDigest,
        &CMicrosoftCatalogCallback::ReadSignerInfo,    &CMicrosoftCatalogCallback::CollectMemberHash,
        &CMicrosoftCatalogCallback::CopyCountersignatureDigest,
    };
    for (Handler handler : kStopping) {
        if (uint32_t result = (this->*handler)(node); result != 0) return result;
    }
    // The later handlers only leave a trace; their verdicts speak for them.
    if (uint32_t result = ReadTimeStampContent(node); result != 0) Emit(205, Level::Information, {Num(result)});
    if (uint32_t result = DigestCountersignatureAttributes(node); result != 0) {
        Emit(206, Level::Information, {Num(result)});
    }
    if (uint32_t result = ReadSigningTime(node); result != 0) Emit(207, Level::Information, {Num(result)});
    if (uint32_t result = VerifyCountersignature(node); result != 0) Emit(208, Level::Information, {Num(result)});
    return DecideAfterNode();
}

uint32_t CMicrosoftCatalogCallback::TrackPhase(Asn1Node& node) {
    switch (node.depth) {
    case 0:
        return node.index == 0 && IsUniversal(node, true, kTagSequence) ? 0 : kReject;
    case 1:
        if (node.index == 0) return Has(node, kOidSignedData) ? 0 : kReject;
        return node.index == 1 && IsContextConstructed(node, 0) ? 0 : kReject;
    case 2:
        return node.index == 0 && IsUniversal(node, true, kTagSequence) ? 0 : kReject;
    case 3:
        switch (node.index) {
        case 0:
            if (!IsUniversal(node, false, kTagInteger)) return kReject;
            phase_ = kPhaseVersion;
            return 0;
        case 1: {
            if (!IsUniversal(node, true, kTagSet) || node.len == 0) return kReject;
            phase_ = kPhaseDigestAlgorithms;
            uint32_t id = 0;
            uint32_t result = ReadDigestAlgorithm(node.value, node.len, id);
            if (result != kCertSuccess || id == 0) return NodeResultOfCert(result);
            digestId_ = id;
            return 0;
        }
        case 2:
            if (!IsUniversal(node, true, kTagSequence)) return kReject;
            phase_ = kPhaseContent;
            return 0;
        case 3:
            if (!IsContextConstructed(node, 0)) return kReject;
            phase_ = kPhaseCertificates;
            return 0;
        case 4:
            if (!IsUniversal(node, true, kTagSet)) return kReject;
            phase_ = kPhaseSignerInfos;
            return 0;
        default:
            phase_ = kPhaseRefused;
            Emit(22, Level::Warning, {Num(node.index)});
            return kReject;
        }
    default:
        break;
    }
    if (phase_ == kPhaseContent) {
        if ((node.depth == 4 && node.index > 1) || (node.depth == 5 && node.index > 0)) {
            // One trust list and nothing beside it: only one is digested, and
            // the members of any other would be vouched for by no signature.
            Emit(211, Level::Warning, {Num(node.depth), Num(node.index)});
            return kReject;
        }
        // The encapsulated content is explicitly tagged [0]; anything else
        // would be read by no other verifier as this content.
        return node.depth == 4 && node.index == 1 && !IsContextConstructed(node, 0) ? kReject : 0;
    }
    if (node.depth == 5 && phase_ == kPhaseSignerInfos && IsContextConstructed(node, 1)) {
        phase_ = kPhaseUnauthenticated;
        Emit(23, Level::Information);
    } else if (node.depth == 7 && phase_ == kPhaseUnauthenticated && Has(node, kOidCountersignature)) {
        phase_ = kPhaseCountersigner;
    } else if (node.depth == 12 && phase_ == kPhaseUnauthenticated && node.index == 0 && node.tag == kTagOid &&
               node.len == 11 && Equal(Whole(node), kTstInfoOid)) {
        phase_ = kPhaseTimeStampToken;
        timeStampMode_ = true;
        timeStampStep_ = 0;
    } else if (phase_ == kPhaseTimeStampToken) {
        if (node.depth == 11 && node.index == 3 && endOffset_ == 0) {
            if (!IsContextConstructed(node, 0)) {
                Emit(24, Level::Warning);
                return kReject;
            }
            endOffset_ = node.offset + node.headerLength + node.len;
        } else if (node.index == 4 && endOffset_ != 0 && node.offset >= endOffset_) {
            // The token's signerInfos follow its certificates.
            if (!IsUniversal(node, true, kTagSet)) {
                Emit(25, Level::Warning);
                return kReject;
            }
            phase_ = kPhaseCountersigner;
            Emit(26, Level::Information);
        }
    }
    return 0;
}

uint32_t CMicrosoftCatalogCallback::DigestContent(const Asn1Node& node) {
    if (phase_ != kPhaseContent || node.depth != 5 || node.index != 0 || !IsUniversal(node, true, kTagSequence) ||
        !Has(node, kOidSignedData | kOidCertTrustList)) {
        return 0;
    }
    if (digestId_ == 0) {
        Emit(27, Level::Warning);
        return kReject;
    }
    uint32_t result = DigestOf(digestId_, Content(node), contentDigest_);
    if (result != kCertSuccess) {
        Emit(28, Level::Warning, {Num(result)});
        return NodeResultOfCert(result);
    }
    trustList_.Cover(node);
    Emit(32, Level::Information, {trace::Bytes(contentDigest_.output().data(), contentDigest_.output().size())});
    return 0;
}

uint32_t CMicrosoftCatalogCallback::CollectCertificate(const Asn1Node& node) {
    bool signedDataCertificate = phase_ == kPhaseCertificates && node.depth == 4;
    bool tokenCertificate = timeStampMode_ && phase_ == kPhaseTimeStampToken && node.depth == 12;
    // The catalog's certificates hold certificates: any other choice there
    // is signed by nobody and read by nothing here. (A time-stamp token
    // may carry other choices beside its certificates; they are skipped.)
    if (signedDataCertificate && !IsUniversal(node, true, kTagSequence)) {
        Emit(214, Level::Warning, {Num(node.tagClass), Num(node.tag)});
        return kReject;
    }
    if (!IsUniversal(node, true, kTagSequence) || !(signedDataCertificate || tokenCertificate)) return 0;
    if (++certificates_ > kMaxCertificates) {
        Emit(210, Level::Warning, {Num(kMaxCertificates)});
        return kReject;
    }
    if (!certContext_.started()) {
        Emit(34, Level::Warning);
        return kReject;
    }
    tk::CertObject* certificate = nullptr;
    tk::Status status = tk::CertCreate(&certificate, certContext_.context());
    if (status == tk::kOk) status = tk::CertSetEncoding(certificate, node.start, node.headerLength + node.len);
    if (status != tk::kOk) {
        Emit(37, Level::Warning, {Num(status)});
        tk::CertFree(&certificate);
        return NodeResultOf(status);
    }
    // A certificate that verifies with its own key is self-signed: only the
    // built-in roots may anchor a path.
    CCertKey key;
    uint32_t keyResult = key.FromCertificate(certificate, anchors_.cache);
    if (keyResult == kCertOutOfMemory) {
        tk::CertFree(&certificate);
        return kOutOfMemory;
    }
    if (keyResult == kCertSuccess && CheckSignature(anchors_.cache, certificate, key) == tk::kOk) {
        Emit(42, Level::Information);
        tk::CertFree(&certificate);
        return 0;
    }
    uint32_t result = RefuseIssuerSerialClash(certificate);
    if (result == 0 && (status = tk::DbInsertCert(database_, certificate)) != tk::kOk) result = NodeResultOf(status);
    tk::CertFree(&certificate);
    return result;
}

uint32_t CMicrosoftCatalogCallback::RefuseIssuerSerialClash(tk::CertObject* certificate) {
    // The database keeps the first certificate of an issuer and serial and
    // drops any later one, so a signer named by a pair that two different
    // certificates carry would be taken without being unique.
    tk::CertFields fields{};
    tk::Status status = tk::CertGetFields(certificate, &fields);
    ListHolder same;
    if (status == tk::kOk) status = tk::ObjectListCreate(&same.list);
    if (status == tk::kOk) {
        status = tk::DbSelectByIssuerSerial(database_, fields.issuer, fields.serialNumber.data,
                                            fields.serialNumber.length, same.list);
    }
    if (status == tk::kNotFound) return 0;
    void* stored = nullptr;
    if (status == tk::kOk) status = tk::ObjectListGet(same.list, 0, &stored);
    if (status != tk::kOk) return NodeResultOf(status);
    const auto* kept = static_cast<const tk::CertObject*>(stored);
    if (Equal({kept->encoding, kept->encodingLength}, {certificate->encoding, certificate->encodingLength})) return 0;
    Emit(213, Level::Warning);
    return kReject;
}

uint32_t CMicrosoftCatalogCallback::DigestAttributes(const Asn1Node& node) {
    if (phase_ != kPhaseSignerInfos || node.depth != 5 || node.index != 3 || !IsContextConstructed(node, 0) ||
        !Has(node, kOidSignedData) || !HasNone(node, kOidSha1 | kOidIndirectData)) {
        return 0;
    }
    attributesDigestReady_ = false;
    signedAttributes_.Cover(node);
    if (digestId_ == 0) {
        Emit(43, Level::Warning);
        return kReject;
    }
    if (uint32_t result = attributesDigest_.Init(digestId_); result != kCertSuccess) {
        Emit(44, Level::Warning, {Num(result)});
        return NodeResultOfCert(result);
    }
    // The attributes are signed as a SET OF, not under their [0] tag.
    static constexpr uint8_t kSetTag = 0x31;
    uint32_t result = attributesDigest_.Update(&kSetTag, 1);
    if (result == kCertSuccess && node.len > 1) result = attributesDigest_.Update(node.start + 1, node.headerLength - 1);
    if (result == kCertSuccess) result = attributesDigest_.Update(node.value, node.len);
    if (result == kCertSuccess) result = attributesDigest_.Final();
    if (result != kCertSuccess) {
        Emit(45, Level::Warning, {Num(result)});
        return 0;
    }
    attributesDigestReady_ = true;
    Emit(50, Level::Information);
    return 0;
}

uint32_t CMicrosoftCatalogCallback::CheckMessageDigest(const Asn1Node& node) {
    if (phase_ != kPhaseSignerInfos || node.depth != 8 || node.index != 0 ||
        !IsUniversal(node, false, kTagOctetString) || !Has(node, kOidSignedData | kOidMessageDigest) ||
        !HasNone(node, kOidIndirectData) || !IsKnownDigestLength(node.len) || !signedAttributes_.Holds(node)) {
        return 0;
    }
    if (!Equal(Content(node), contentDigest_.output().bytes())) {
        Emit(52, Level::Warning, {Num(node.len)});
        return kReject;
    }
    contentDigestMatched_ = true;
    Emit(54, Level::Information);
    return 0;
}

uint32_t CMicrosoftCatalogCallback::ReadIssuerAndSerial(const Asn1Node& node, tk::NameObject*& issuer,
                                                        CMemory& serial) {
    if (node.index == 0) {
        tk::NameFree(&issuer);
        tk::Status status = tk::NameCreate(certContext_.context(), &issuer);
        if (status == tk::kOk) status = tk::NameSetEncoding(issuer, node.start, node.headerLength + node.len);
        return status == tk::kOk ? 0 : NodeResultOf(status);
    }
    if (node.index == 1) {
        if (!IsUniversal(node, false, kTagInteger)) return kReject;
        return Copy(serial, Content(node)) ? 0 : kOutOfMemory;
    }
    Emit(116, Level::Information, {Num(node.index)});
    return 0;
}

uint32_t CMicrosoftCatalogCallback::ReadSignerInfo(const Asn1Node& node) {
    // A field behind the unauthenticated attributes is refused in whatever
    // phase those attributes left the walk: nothing else lies at depth 5.
    if (node.depth == 5 && node.index >= 7 && phase_ >= kPhaseSignerInfos && phase_ <= kPhaseCountersigner) {
        signerStep_ = 8;
        Emit(108, Level::Warning, {Num(node.index)});
        return kReject;
    }
    // One signer: a second SignerInfo, verified or not, could only write
    // over the first one's values and verdicts.
    if (node.depth == 4 && node.index > 0 && phase_ >= kPhaseSignerInfos && phase_ <= kPhaseCountersigner) {
        Emit(212, Level::Warning, {Num(node.index)});
        return kReject;
    }
    // An attribute, authenticated or not, holds its type and its set of
    // values, in that order, and nothing after them.
    bool inAttributes = (phase_ == kPhaseSignerInfos && signerStep_ == 4) ||
                        (phase_ >= kPhaseUnauthenticated && phase_ <= kPhaseCountersigner);
    bool attributeShape = node.index == 0 ? IsUniversal(node, false, kTagOid)
                          : node.index == 1 ? IsUniversal(node, true, kTagSet)
                                            : false;
    if (node.depth == 7 && inAttributes && !attributeShape) {
        Emit(109, Level::Warning, {Num(node.index)});
        return kReject;
    }
    if (phase_ != kPhaseSignerInfos) return 0;
    if (node.depth == 4) {
        if (!IsUniversal(node, true, kTagSequence)) return kReject;
        signerStep_ = 0;
        Emit(55, Level::Information);
        return 0;
    }
    if (node.depth == 6 && signerStep_ == 2) return ReadIssuerAndSerial(node, signerIssuer_, signerSerial_);
    if (node.depth != 5) return 0;
    switch (node.index) {
    case 0:
        if (!IsUniversal(node, false, kTagInteger)) return kReject;
        signerStep_ = 1;
        return 0;
    case 1:
        if (!IsUniversal(node, true, kTagSequence)) return kReject;
        signerStep_ = 2;
        return 0;
    case 2: {
        // Never compared with the list above, but an algorithm the reader
        // knows, as every other reader of the SignerInfo wants one: no room
        // for anything else in its parameters.
        if (!IsUniversal(node, true, kTagSequence)) return kReject;
        signerStep_ = 3;
        uint32_t id = 0;
        uint32_t result = ReadDigestAlgorithm(node.start, node.headerLength + node.len, id);
        if (result == kCertSuccess && id != 0) return 0;
        Emit(215, Level::Warning);
        return NodeResultOfCert(result);
    }
    case 3:
        if (!IsContextConstructed(node, 0)) return kReject;
        signerStep_ = 4;
        return 0;
    case 4: {
        if (!IsUniversal(node, true, kTagSequence)) return kReject;
        signerStep_ = 5;
        uint32_t id = 0;
        uint32_t result = ReadSignatureAlgorithm(node.value, node.len, id);
        return result == kCertSuccess ? 0 : NodeResultOfCert(result);
    }
    case 5:
        if (!IsUniversal(node, false, kTagOctetString)) return kReject;
        signerStep_ = 6;
        return VerifySignature(node);
    case 6:
        // Only the unauthenticated attributes may follow the signature.
        if (!IsContextConstructed(node, 1)) return kReject;
        signerStep_ = 7;
        Emit(107, Level::Information);
        return 0;
    default:
        return 0;
    }
}

CMicrosoftCatalogCallback::SignerOutcome CMicrosoftCatalogCallback::SelectSigner(const tk::NameObject* issuer,
                                                                                 const CMemory& serial,
                                                                                 tk::ObjectList*& found,
                                                                                 tk::CertObject*& certificate) {
    tk::Status status = tk::ObjectListCreate(&found);
    if (status == tk::kOk) {
        status = tk::DbSelectByIssuerSerial(database_, issuer, serial.data(), serial.size(), found);
    }
    // An empty database answers "not found": the signer is then not unique.
    if (status != tk::kOk && status != tk::kNotFound) {
        Emit(63, Level::Warning, {Num(status)});
        return CertResultOf(status) == kCertOutOfMemory ? SignerOutcome::OutOfMemory : SignerOutcome::Failed;
    }
    uint32_t count = 0;
    void* first = nullptr;
    if (status != tk::kOk || tk::ObjectListCount(found, &count) != tk::kOk || count != 1 || tk::ObjectListGet(found, 0, &first) != tk::kOk) {
        Emit(65, Level::Information, {Num(count)});
        return SignerOutcome::NotFound;
    }
    certificate = static_cast<tk::CertObject*>(first);
    return SignerOutcome::Verified;
}

CMicrosoftCatalogCallback::SignerOutcome CMicrosoftCatalogCallback::VerifyPath(tk::CertObject* certificate,
                                                                               tk::ObjectList* anchors,
                                                                               CCertKey& key) {
    ListHolder path;
    tk::Status status = tk::ObjectListCreate(&path.list);
    if (status == tk::kOk) {
        tk::PathParams params{tk::kPathKindChainOnly, kPathFlags, anchors, nullptr, 0, database_};
        status = tk::PathBuildRequest(certContext_.context(), &params, certificate, path.list, nullptr, nullptr, nullptr);
    }
    if (status != tk::kOk) {
        Emit(status == kPathNoAnchor ? 76 : 78, Level::Warning, {Num(status)});
        return status != kPathNoAnchor && CertResultOf(status) == kCertOutOfMemory ? SignerOutcome::OutOfMemory
                                                                                    : SignerOutcome::NoPath;
    }
    uint32_t count = 0;
    (void)tk::ObjectListCount(path.list, &count);
    Emit(81, Level::Information, {Num(count)});
    // From the anchor down: each certificate with the key of the one above
    // it, the anchor with its own; the last key is the signer's.
    for (uint32_t i = count; i-- > 0;) {
        void* entry = nullptr;
        (void)tk::ObjectListGet(path.list, i, &entry);
        auto* link = static_cast<tk::CertObject*>(entry);
        if (i + 1 == count) {
            if (uint32_t result = key.FromCertificate(link, anchors_.cache); result != kCertSuccess) {
                Emit(86, Level::Warning, {Num(result)});
                return result == kCertOutOfMemory ? SignerOutcome::OutOfMemory : SignerOutcome::Failed;
            }
        }
        if (tk::Status verify = CheckSignature(anchors_.cache, link, key); verify != tk::kOk) {
            Emit(88, Level::Warning, {Num(verify), Num(i)});
            return CertResultOf(verify) == kCertOutOfMemory ? SignerOutcome::OutOfMemory : SignerOutcome::Failed;
        }
        if (uint32_t result = key.FromCertificate(link, anchors_.cache); result != kCertSuccess) {
            Emit(90, Level::Warning, {Num(result)});
            return result == kCertOutOfMemory ? SignerOutcome::OutOfMemory : SignerOutcome::Failed;
        }
    }
    return count == 0 ? SignerOutcome::NoPath : SignerOutcome::Verified;
}

CMicrosoftCatalogCallback::SignerOutcome CMicrosoftCatalogCallback::VerifyChainAndSignature(
    tk::CertObject* certificate, const Asn1Node& encryptedDigest, const CCertDigest& expected, bool secondListToo) {
    CCertKey key;
    SignerOutcome outcome = VerifyPath(certificate, anchors_.codeSigningAnchors(), key);
    // Only a path that cannot be built sends a countersigner to the second
    // list; a chain that fails its signatures stays failed.
    if (outcome == SignerOutcome::NoPath && secondListToo && anchors_.secondAnchors() != nullptr) {
        outcome = VerifyPath(certificate, anchors_.secondAnchors(), key);
    }
    if (outcome != SignerOutcome::Verified) return outcome;
    CCertDecrypt decrypt;
    CMemory digest;
    uint32_t result = decrypt.Init(1, key);
    if (result == kCertSuccess) result = decrypt.Update(encryptedDigest.value, encryptedDigest.len);
    if (result == kCertSuccess) result = decrypt.Final();
    // A countersigner may sign the bare digest, the primary signer only a DigestInfo.
    if (result == kCertSuccess) {
        result = secondListToo ? decrypt.GetDigestLenient(digest) : decrypt.GetDigestStrict(digest);
    }
    if (result != kCertSuccess) {
        Emit(93, Level::Warning, {Num(result)});
        return result == kCertOutOfMemory ? SignerOutcome::OutOfMemory : SignerOutcome::Failed;
    }
    if (!Equal(digest.bytes(), expected.output().bytes())) {
        Emit(98, Level::Warning);
        return SignerOutcome::Failed;
    }
    Emit(99, Level::Information);
    return SignerOutcome::Verified;
}

uint32_t CMicrosoftCatalogCallback::SignerCertificateDigest(tk::CertObject* certificate) {
    // An encoding the toolkit found canonical before needs neither its check
    // nor its digest again.
    CVerificationCache* cache = anchors_.cache;
    if (cache != nullptr && tk::IsCertificate(certificate) && certificate->encoding != nullptr) {
        ByteSpan kept = cache->FindCanonical({certificate->encoding, certificate->encodingLength});
        if (!kept.empty()) return Copy(signerValues_[3], kept) ? kCertSuccess : kCertOutOfMemory;
    }
    const uint8_t* der = nullptr;
    uint32_t derLength = 0;
    tk::Status encoded = tk::CertGetEncoding(certificate, tk::kCertEncodingStrict, &der, &derLength);
    uint32_t digested =
        encoded == tk::kOk ? DigestOf(kSha1Info.id(), {der, derLength}, signerDigest_) : CertResultOf(encoded);
    if (digested == kCertSuccess && !Copy(signerValues_[3], signerDigest_.output().bytes())) digested = kCertOutOfMemory;
    if (digested == kCertSuccess && cache != nullptr) cache->KeepCanonical({der, derLength}, signerValues_[3].bytes());
    return digested;
}

uint32_t CMicrosoftCatalogCallback::VerifySignature(const Asn1Node& node) {
    ListHolder found;
    tk::CertObject* certificate = nullptr;
    SignerOutcome outcome = SelectSigner(signerIssuer_, signerSerial_, found.list, certificate);
    if (outcome == SignerOutcome::NotFound) return 0;
    if (outcome != SignerOutcome::Verified) return outcome == SignerOutcome::OutOfMemory ? kOutOfMemory : kReject;

    // A failed digest only leaves value 4 empty, but running out of memory
    // ends the walk, so that no catalog is kept with a value missing for that.
    uint32_t digested = SignerCertificateDigest(certificate);
    if (digested != kCertSuccess) {
        Emit(69, digested == kCertOutOfMemory ? Level::Error : Level::Warning, {Num(digested)});
        if (digested == kCertOutOfMemory) return kOutOfMemory;
    }
    if (!Copy(encryptedDigest_, Content(node))) return kOutOfMemory;
    const CCertDigest& expected = attributesDigest_;
    if (!attributesDigestReady_) return kReject;
    outcome = VerifyChainAndSignature(certificate, node, expected, false);
    if (outcome != SignerOutcome::Verified) return outcome == SignerOutcome::OutOfMemory ? kOutOfMemory : kReject;

    tk::CertFields fields{};
    if (tk::Status status = tk::CertGetFields(certificate, &fields); status != tk::kOk) return NodeResultOf(status);
    if (!Copy(signerValues_[2], {fields.serialNumber.data, fields.serialNumber.length})) {
        Emit(103, Level::Error);
        return kOutOfMemory;
    }
    uint32_t text = CatalogNameText(fields.subject, signerValues_[0]);
    if (text == kCertOutOfMemory) return kOutOfMemory;
    if (text != kCertSuccess) Emit(104, Level::Warning);
    // The issuer as the verified certificate names it: the SignerInfo's copy
    // is signed by nobody and need only compare equal to it.
    text = CatalogNameText(fields.issuer, signerValues_[1]);
    if (text == kCertOutOfMemory) return kOutOfMemory;
    if (text != kCertSuccess) Emit(113, Level::Warning);
    if (uint32_t result = SetFlags(certificate); result != 0) return result;
    signerVerified_ = true;
    return 0;
}

uint32_t CMicrosoftCatalogCallback::SetFlags(tk::CertObject* certificate) {
    tk::CertFields fields{};
    if (tk::Status status = tk::CertGetFields(certificate, &fields); status != tk::kOk) return NodeResultOf(status);
    const tk::OidListValue* usage = nullptr;
    uint32_t index = 0;
    if (fields.extensions != nullptr &&
        tk::ExtensionListFind(fields.extensions, kExtKeyUsageOid, sizeof(kExtKeyUsageOid), &index) == tk::kOk) {
        const void* value = nullptr;
        if (tk::ExtensionListGetValue(fields.extensions, index, 0, &value) == tk::kOk) {
            usage = static_cast<const tk::OidListValue*>(value);
        }
    }
    bool codeSigning = ListsPurpose(usage, kCodeSigningOid);
    uint32_t flags = 0;
    if (codeSigning) {
        flags = kFlagCodeSigning;
    } else if (SubjectHasSigningUnitPrefix(fields.subject)) {
        flags = kFlagSigningUnit;
    }
    bool checked = flags != 0;
    flags |= kFlagAlways;
    if (checked) {
        flags |= kFlagChecked;
        uint32_t listed = LookUpRevokedSigner(fields);
        if (listed != kCertSuccess) {
            if (listed != kCertNoMatch) Emit(105, Level::Warning);
            Emit(106, Level::Warning);
            windowStart_ = windowEnd_ = kRevocationTime;
            signerRejected_ = true;
        }
        if (SubjectNamesMaker(fields.subject)) flags |= kFlagMaker;
        if (SubjectNamesMakerSigningIdentity(fields.subject)) {
            flags |= kFlagMakerIdentity;
            if (codeSigning && ListsPurpose(usage, kSystemComponentOid)) flags |= kFlagSystemComponent;
            if (codeSigning && ListsPurpose(usage, kHardwareDriverOid)) flags |= kFlagHardwareDriver;
        }
    }
    signerFlags_ = flags;
    return 0;
}

uint32_t CMicrosoftCatalogCallback::MemberTags() const {
    return (1u << kTagOid) | (expectHash_ ? 1u << kTagOctetString : 0u);
}

void CMicrosoftCatalogCallback::ExpectHash(bool armed) {
    expectHash_ = armed;
    if (phase_ == kPhaseContent) interest_.tags = MemberTags();
}

uint32_t CMicrosoftCatalogCallback::CollectMemberHash(const Asn1Node& node) {
    // Only the digested trust list vouches for a hash: outside it nothing
    // arms, and an armed expectation does not outlive it.
    if (!trustList_.Holds(node)) {
        ExpectHash(false);
        return 0;
    }
    if (node.tag == kTagOid && node.Class() == kAsn1Universal &&
        Has(node, kOidSignedData | kOidCertTrustList | kOidIndirectData) &&
        (Equal(Content(node), kSha1Oid) || Equal(Content(node), kSha256Oid))) {
        ExpectHash(true);
        return 0;
    }
    if (!expectHash_ || !IsUniversal(node, false, kTagOctetString) || (node.len != 20 && node.len != 32)) return 0;
    ExpectHash(false);
    CatalogMember* member = NewMember(node.offset);
    if (member == nullptr) {
        Emit(118, Level::Error);
        return kOutOfMemory;
    }
    std::copy(node.value, node.value + node.len, member->bytes);
    member->length = node.len;
    member->offset = node.offset + node.headerLength;
    ++memberCount_;
    return 0;
}

bool CMicrosoftCatalogCallback::CountersignaturePhase() const {
    return phase_ == kPhaseCountersigner || (phase_ == kPhaseTimeStampToken && timeStampMode_);
}

uint32_t CMicrosoftCatalogCallback::CopyCountersignatureDigest(const Asn1Node& node) {
    if (!CountersignaturePhase() || node.depth != (timeStampMode_ ? 16 : 12) || node.index != 0 ||
        !IsUniversal(node, false, kTagOctetString) || !Has(node, kOidSignedData | kOidMessageDigest) ||
        !IsKnownDigestLength(node.len) || !counterAttributes_.Holds(node)) {
        return 0;
    }
    if (Copy(counterMessageDigest_, Content(node))) return 0;
    Emit(127, Level::Error);
    return kOutOfMemory;
}

uint32_t CMicrosoftCatalogCallback::ReadTimeStampContent(Asn1Node& node) {
    if (!timeStampMode_ || !CountersignaturePhase() || (signerFlags_ & 1) == 0) return 0;
    if (node.depth == 13 && node.index == 0 && node.tag == kTagOctetString && node.Class() == kAsn1Universal &&
        Has(node, kOidSignedData) && HasNone(node, kOidIndirectData)) {
        // The token's TSTInfo: walked into as well as kept.
        node.tagClass |= kAsn1Constructed;
        if (!Copy(timeStampContent_, Content(node))) return kOutOfMemory;
        timeStampInfo_.Cover(node);
        // Each token's time is its own TSTInfo's.
        signingTime_ = 0;
        timeStampStep_ = kStampContent;
        return 0;
    }
    if (node.depth != 16 || timeStampStep_ != kStampContent || !timeStampInfo_.Holds(node)) return 0;
    if (node.index == 0) {
        uint32_t id = 0;
        if (!IsUniversal(node, true, kTagSequence) ||
            ReadDigestAlgorithm(node.start, node.headerLength + node.len, id) != kCertSuccess) {
            Emit(138, Level::Warning);
            countersignatureInvalid_ = true;
            return kReject;
        }
        imprintDigestId_ = id;
        return 0;
    }
    if (node.index == 1 && IsKnownDigestLength(node.len)) {
        if (!Copy(hashedMessage_, Content(node))) return kOutOfMemory;
        timeStampStep_ = kStampImprint;
    }
    return 0;
}

uint32_t CMicrosoftCatalogCallback::DigestCountersignatureAttributes(const Asn1Node& node) {
    if (!CountersignaturePhase() || node.depth != (timeStampMode_ ? 13 : 9) || node.index != 3 ||
        !IsContextConstructed(node, 0) || !Has(node, kOidSignedData) || !HasNone(node, kOidSha1 | kOidIndirectData)) {
        return 0;
    }
    counterAttributesDigestReady_ = false;
    counterAttributes_.Cover(node);
    static constexpr uint8_t kSetTag = 0x31;
    uint32_t result = counterAttributesDigest_.Init(counterDigestId_);
    if (result == kCertSuccess) result = counterAttributesDigest_.Update(&kSetTag, 1);
    if (result == kCertSuccess && node.len > 1) {
        result = counterAttributesDigest_.Update(node.start + 1, node.headerLength - 1);
    }
    if (result == kCertSuccess) result = counterAttributesDigest_.Update(node.value, node.len);
    if (result == kCertSuccess) result = counterAttributesDigest_.Final();
    counterAttributesDigestReady_ = result == kCertSuccess;
    return result == kCertSuccess ? 0 : NodeResultOfCert(result);
}

uint32_t CMicrosoftCatalogCallback::ReadSigningTime(const Asn1Node& node) {
    if (!CountersignaturePhase()) return 0;
    bool utc = !timeStampMode_ && node.depth == 12 && node.index == 0 && IsUniversal(node, false, kTagUtcTime) &&
               node.len == 13 && Has(node, kOidSignedData | kOidSigningTime) && counterAttributes_.Holds(node);
    bool generalized = timeStampMode_ && timeStampStep_ == kStampImprint && node.depth == 15 && node.index == 4 &&
                       IsUniversal(node, false, kTagGeneralizedTime) && node.len >= 15 && node.len <= 19 &&
                       timeStampInfo_.Holds(node);
    if (!utc && !generalized) return 0;
    if (node.value[node.len - 1] != 'Z') {
        Emit(utc ? 128 : 129, Level::Warning);
        return 0;
    }
    uint64_t seconds = 0;
    if (!TarnVerifyTrustDriver::ReadSigningTime(Content(node), generalized, seconds)) {
        Emit(130, Level::Warning);
        return kReject;
    }
    if (seconds == 0) Emit(136, Level::Warning);
    signingTime_ = seconds;
    if (generalized) timeStampStep_ = kStampTime;
    return 0;
}

uint32_t CMicrosoftCatalogCallback::VerifyCountersignature(const Asn1Node& node) {
    if (phase_ != kPhaseCountersigner || (signerFlags_ & 1) == 0) return 0;
    uint32_t signerDepth = timeStampMode_ ? 12 : 8;
    if (node.depth == signerDepth) {
        // Nothing an earlier countersigner left may stand for this one.
        counterStep_ = 0;
        counterMessageDigest_.Free();
        counterAttributesDigestReady_ = false;
        if (!timeStampMode_) signingTime_ = 0;
        if (!IsUniversal(node, true, kTagSequence)) {
            Emit(142, Level::Warning);
            countersignatureInvalid_ = true;
        }
        return 0;
    }
    if (node.depth == signerDepth + 2 && counterStep_ == 2) {
        uint32_t result = ReadIssuerAndSerial(node, counterIssuer_, counterSerial_);
        if (result != 0) countersignatureInvalid_ = true;
        return result;
    }
    if (node.depth != signerDepth + 1) return 0;
    bool shaped = true;
    switch (node.index) {
    case 0:
        shaped = node.tag == kTagInteger;
        break;
    case 1:
        shaped = IsUniversal(node, true, kTagSequence);
        break;
    case 2: {
        uint32_t id = 0;
        shaped = IsUniversal(node, true, kTagSequence) &&
                 ReadDigestAlgorithm(node.start, node.headerLength + node.len, id) == kCertSuccess && id != 0;
        counterDigestId_ = shaped ? id : 0;
        break;
    }
    case 3:
        shaped = IsContextConstructed(node, 0);
        break;
    case 4: {
        uint32_t id = 0;
        shaped = IsUniversal(node, true, kTagSequence) && ReadSignatureAlgorithm(node.value, node.len, id) == kCertSuccess;
        break;
    }
    case 5:
        counterStep_ = 6;
        return FinishCountersignature(node);
    case 6:
        shaped = IsContextConstructed(node, 1);
        break;
    default:
        shaped = false;
        break;
    }
    counterStep_ = node.index + 1;
    if (!shaped) {
        Emit(143 + node.index, Level::Warning);
        countersignatureInvalid_ = true;
    }
    return 0;
}

bool CMicrosoftCatalogCallback::CountersignedDigestsMatch() {
    CCertDigest digest;
    const CMemory& signedContent = timeStampMode_ ? timeStampContent_ : encryptedDigest_;
    if (DigestOf(counterDigestId_, signedContent.bytes(), digest) != kCertSuccess ||
        !Equal(digest.output().bytes(), counterMessageDigest_.bytes())) {
        return false;
    }
    if (!timeStampMode_) return true;
    return DigestOf(imprintDigestId_, encryptedDigest_.bytes(), digest) == kCertSuccess &&
           Equal(digest.output().bytes(), hashedMessage_.bytes());
}

uint32_t CMicrosoftCatalogCallback::FinishCountersignature(const Asn1Node& encryptedDigest) {
    ListHolder found;
    tk::CertObject* certificate = nullptr;
    SignerOutcome outcome = SelectSigner(counterIssuer_, counterSerial_, found.list, certificate);
    if (outcome == SignerOutcome::Verified) {
        outcome = counterAttributesDigestReady_
                      ? VerifyChainAndSignature(certificate, encryptedDigest, counterAttributesDigest_, true)
                      : SignerOutcome::Failed;
    }
    if (outcome == SignerOutcome::Verified && !CountersignedDigestsMatch()) outcome = SignerOutcome::Failed;
    if (outcome != SignerOutcome::Verified) {
        countersignatureInvalid_ = true;
        return outcome == SignerOutcome::OutOfMemory ? kOutOfMemory : kReject;
    }
    countersignatureVerified_ = true;
    if (signingTime_ != 0) timeValue_ = static_cast<uint32_t>(signingTime_);
    if (!signerRejected_) return 0;
    // A listed signer stands only when the countersignature dates the
    // signature before its revocation.
    if (signingTime_ == 0) return kReject;
    if (windowStart_ == kNoWindow || windowStart_ == kAbsentWindow) {
        Emit(195, Level::Warning);
        countersignatureInvalid_ = true;
    } else if (signingTime_ < windowStart_) {
        signerRejected_ = false;
    }
    return 0;
}

uint32_t CMicrosoftCatalogCallback::DecideAfterVerifiedSigner() const {
    if (countersignatureVerified_ && signerRejected_) {
        Emit(209, Level::Warning);
        return kReject;
    }
    if (!countersignatureVerified_ && countersignatureInvalid_) {
        Emit(209, Level::Warning);
        return kReject;
    }
    return 0;
}

}  // namespace TarnVerifyTrustDriver
