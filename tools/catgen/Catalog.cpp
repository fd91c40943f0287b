#include "tools/catgen/Catalog.h"

#include <fstream>

#include "tools/catgen/Oids.h"
#include "tools/catgen/SignerInfo.h"

namespace korva::catgen {

namespace {

constexpr std::string_view kTrustList = "1.3.6.1.4.1.311.10.1";
constexpr std::string_view kStatementType = "1.3.6.1.4.1.311.2.1.11";
constexpr std::string_view kIndividualCodeSigning = "1.3.6.1.4.1.311.2.1.21";
constexpr std::string_view kOpusInfo = "1.3.6.1.4.1.311.2.1.12";
constexpr std::string_view kSha224 = "2.16.840.1.101.3.4.2.4";
constexpr std::string_view kRsassaPss = "1.2.840.113549.1.1.10";

// The trust list as embedded: for a bad content digest, one changed after
// the signature was made over the original.
Bytes EmbeddedTrustList(const CatalogOptions& options, const Bytes& signedList) {
    if (options.malformation != Malformation::kBadContentDigest) return signedList;
    TrustListOptions changed = options.trustList;
    if (changed.members.empty()) {
        changed.listIdentifier = Bytes(16, 0xEE);
    } else {
        changed.members[0].hash.back() ^= 0x01;
    }
    return BuildTrustList(changed);
}

Bytes EncapsulatedContent(Malformation malformation, const Bytes& trustList) {
    if (malformation == Malformation::kWrongContentType) {
        return Sequence({Oid(oid::kData), ContextConstructed(0, OctetString(trustList))});
    }
    if (malformation == Malformation::kNestedIndefiniteLength) {
        Bytes wrapped = Concat({{0xA0, 0x80}, trustList, {0x00, 0x00}});
        return Sequence({Oid(kTrustList), wrapped});
    }
    return Sequence({Oid(kTrustList), ContextConstructed(0, trustList)});
}

std::vector<Bytes> AuthenticatedAttributes(const CatalogOptions& options, const Bytes& contentHash) {
    Malformation malformation = options.malformation;
    std::string_view contentType = malformation == Malformation::kWrongContentType ? oid::kData : kTrustList;
    std::vector<Bytes> attributes = {
        Attribute(oid::kContentType, Oid(contentType)),
        Attribute(kStatementType, Sequence({Oid(kIndividualCodeSigning)})),
        Attribute(kOpusInfo, Sequence({})),
    };
    Bytes digest = contentHash;
    if (malformation == Malformation::kBadMessageDigest) digest[0] ^= 0x01;
    if (malformation == Malformation::kOddMessageDigestLength) digest.resize(24, 0x5A);
    if (malformation != Malformation::kMissingMessageDigest) attributes.push_back(Attribute(oid::kMessageDigest, OctetString(digest)));
    if (options.signingTime) attributes.push_back(Attribute(oid::kSigningTime, UtcTime(*options.signingTime)));
    return attributes;
}

Bytes DigestAlgorithms(const CatalogOptions& options) {
    switch (options.malformation) {
        case Malformation::kUnsigned: return Set({});
        case Malformation::kUnknownDigestAlgorithm: return Set({AlgorithmIdentifier(kSha224)});
        case Malformation::kTwoDigestAlgorithms:
            return Set({AlgorithmIdentifier(DigestOid(Digest::kSha1)), AlgorithmIdentifier(DigestOid(Digest::kSha256))});
        default: return Set({AlgorithmIdentifier(DigestOid(options.digest))});
    }
}

// The signer's chain, and a PKCS #9 countersigner's: its SignerInfo has no
// certificates of its own.
Bytes Certificates(Malformation malformation, const Chain& signer, const Chain* countersigner) {
    if (malformation == Malformation::kUnsigned || malformation == Malformation::kNoCertificates) return {};
    Bytes out;
    for (const Certificate& cert : signer.Embedded()) {
        bool leaf = cert == signer.leaf.cert;
        if (malformation == Malformation::kBrokenChain && !leaf) continue;
        Bytes der = CertificateDer(cert);
        // The last octet lies in the signature value of the issuing CA.
        if (malformation == Malformation::kBadCertificateSignature && !leaf && cert == signer.intermediates.back().cert) {
            der.back() ^= 0x01;
        }
        out.insert(out.end(), der.begin(), der.end());  // not Concat: thousands of decoys would copy squared
    }
    if (malformation == Malformation::kUndecodableCertificate) out = Concat({out, Sequence({Integer(1)})});
    if (countersigner != nullptr) {
        for (const Certificate& cert : countersigner->Embedded()) {
            Bytes der = CertificateDer(cert);
            out.insert(out.end(), der.begin(), der.end());
        }
    }
    return ContextConstructed(0, out);
}

Bytes SignerInfos(const CatalogOptions& options, const Chain& signer, const Chain* timeStamper, Timestamp kind,
                  const Bytes& contentHash) {
    Malformation malformation = options.malformation;
    if (malformation == Malformation::kUnsigned) return Set({});
    SignerInfoInput input;
    input.signer = &signer.leaf;
    input.digest = options.digest;
    input.contentHash = contentHash;
    if (malformation != Malformation::kMissingAuthenticatedAttributes) {
        input.authenticatedAttributes = AuthenticatedAttributes(options, contentHash);
    }
    input.bareDigest = malformation == Malformation::kBareDigestSignature;
    input.flipSignature = malformation == Malformation::kBadSignature;
    if (malformation == Malformation::kUnknownSigner) input.namedSerial = {0x7E, 0x57};
    if (malformation == Malformation::kUnknownSignatureAlgorithm) input.signatureAlgorithm = kRsassaPss;
    Bytes signature = SignatureOf(input);

    Bytes unauthenticated;
    TimestampOptions timestamp{kind, timeStamper, options.timestampDigest, options.timestampTime, malformation,
                               options.zonelessTimestampTime};
    if (timeStamper != nullptr) unauthenticated = CountersignatureAttribute(timestamp, signature);
    bool extraField = malformation == Malformation::kExtraSignerInfoField;
    return Set({AssembleSignerInfo(input, signature, unauthenticated, extraField)});
}

}  // namespace

Catalog BuildCatalog(const CatalogOptions& options, const Chain& signer, const Chain* timeStamper) {
    Malformation malformation = options.malformation;
    Bytes signedList = BuildTrustList(options.trustList);
    // A trust list is digested without its own header; id-data content is the
    // whole list as an octet string.
    Bytes covered = malformation == Malformation::kWrongContentType ? signedList : ContentOf(signedList);
    Bytes contentHash = Hash(options.digest, covered);
    Timestamp kind = timeStamper != nullptr ? TimestampFor(malformation, options.timestamp) : Timestamp::kNone;

    Bytes signedData = Concat({Integer(1), DigestAlgorithms(options),
                               EncapsulatedContent(malformation, EmbeddedTrustList(options, signedList)),
                               Certificates(malformation, signer, kind == Timestamp::kPkcs9 ? timeStamper : nullptr)});
    if (malformation == Malformation::kWithCrls) signedData = Concat({signedData, ContextConstructed(1, {})});
    signedData = Concat({signedData, SignerInfos(options, signer, timeStamper, kind, contentHash)});

    std::string_view outerType = malformation == Malformation::kNotSignedData ? oid::kData : oid::kSignedData;
    Catalog catalog;
    catalog.der = Sequence({Oid(outerType), ContextConstructed(0, Tlv(kConstructed, 16, signedData))});
    for (const Member& member : SortedMembers(options.trustList.members)) {
        if (member.kind != MemberHash::kMd5) catalog.memberHashes.push_back(member.hash);
    }
    return catalog;
}

Chain SignerChainFor(const Identity& root, ChainOptions options, Malformation malformation) {
    options.role = ChainRole::kCodeSigning;
    options.selfSignedLeaf = options.selfSignedLeaf || malformation == Malformation::kSelfSignedSigner;
    if (malformation == Malformation::kUntrustedRoot) {
        return BuildChain(TestRoot("untrusted-root", "Korva Untrusted Test Root"), options);
    }
    return BuildChain(root, options);
}

Chain TimeStamperChainFor(const Identity& root, ChainOptions options, Malformation malformation) {
    options.role = ChainRole::kTimeStamping;
    if (malformation == Malformation::kUntrustedTimestampRoot) {
        return BuildChain(TestRoot("untrusted-root", "Korva Untrusted Test Root"), options);
    }
    return BuildChain(root, options);
}

bool WriteCatalog(const std::filesystem::path& path, const Bytes& der) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(der.data()), static_cast<std::streamsize>(der.size()));
    return static_cast<bool>(out);
}

}  // namespace korva::catgen
