// Generated catalogs through the callback: every malformation the generator
// knows ends in the verdict it must, the well-formed ones are accepted (and
// verify with libcrypto), and the revocation window and signer flags follow
// the signer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <filesystem>
#include <set>

#include "catalog/CertResult.h"
#include "catalog/ExtraRoots.h"
#include "platform/TraceRecorder.h"
#include "tests/catalog/CallbackTestSupport.h"
#include "toolkit/PathBuildHooks.h"
#include "tools/catgen/Catalog.h"
#include "tools/catgen/DerMutator.h"
#include "tools/catgen/Hostile.h"
#include "tools/peer/PeerVerifier.h"

namespace korva::catalog_test {
namespace {

using catgen::ArmedMemberHashes;
using catgen::BuildHostile;
using catgen::CatalogOptions;
using catgen::DerMutator;
using catgen::DerNode;
using catgen::EncodeDer;
using catgen::Hostile;
using catgen::HostileCatalog;
using catgen::Malformation;
using catgen::ParseDer;
using catgen::PlaceArmedMember;
using catgen::Timestamp;
using catgen::UnsignedPlace;
using TarnVerifyTrustDriver::CMicrosoftCatalogCallback;

class GeneratedCatalogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { catgen::SetKeyBits(1024); }

    void SetUp() override {
        ASSERT_EQ(extra_.Add(1, 9001, catgen::CertificateDer(root_.cert)), TarnVerifyTrustDriver::kCertSuccess);
        ASSERT_EQ(extra_.Add(2, 9002, catgen::CertificateDer(tsaRoot_.cert)), TarnVerifyTrustDriver::kCertSuccess);
        anchors_.emplace(&extra_);
    }

    CallbackOutcome Verify(const Bytes& der) {
        CMicrosoftCatalogCallback callback(anchors_->set());
        uint32_t walk = WalkCatalog(der, callback);
        CallbackOutcome outcome = Outcome(walk, callback);
        countersigned_ = callback.CountersignatureVerified();
        return outcome;
    }

    catgen::Catalog Build(const CatalogOptions& options, catgen::ChainOptions chain = {}) {
        chain.digest = options.digest;
        signer_ = catgen::SignerChainFor(root_, chain, options.malformation);
        catgen::ChainOptions stamper;
        stamper.role = catgen::ChainRole::kTimeStamping;
        stamper.digest = options.timestampDigest;
        timeStamper_ = catgen::TimeStamperChainFor(tsaRoot_, stamper, options.malformation);
        return catgen::BuildCatalog(options, signer_, &timeStamper_);
    }

    catgen::Identity root_ = catgen::TestRoot("test-root", "Korva Generator Test Root");
    catgen::Identity tsaRoot_ = catgen::TestRoot("test-tsa-root", "Korva Generator Test TSA Root");
    const peer::PeerVerifier peer_{{catgen::CertificateDer(root_.cert)}, {catgen::CertificateDer(tsaRoot_.cert)}};
    catgen::Chain signer_;
    catgen::Chain timeStamper_;
    TarnVerifyTrustDriver::CExtraRoots extra_;
    std::optional<RootAnchors> anchors_;
    bool countersigned_ = false;
};

// The one table of malformations: the walk each one ends in, and what
// libcrypto finds in the same catalog, so that each malformation is known to
// break what its name says (and the peer to refuse it).
using Shows = bool (*)(const peer::Facts&);
constexpr Shows kOnlyContentDigest = [](const peer::Facts& f) { return !f.contentDigest && f.signature && f.chain; };
constexpr Shows kOnlySignature = [](const peer::Facts& f) { return f.contentDigest && !f.signature && f.chain; };
constexpr Shows kOnlyChain = [](const peer::Facts& f) { return f.contentDigest && f.signature && !f.chain; };
constexpr Shows kOnlyCountersignature = [](const peer::Facts& f) {
    return f.contentDigest && f.signature && f.chain && f.countersigned && !f.countersignature;
};
constexpr Shows kUnparsed = [](const peer::Facts& f) { return !f.parsed; };

struct MalformationCase {
    Malformation malformation;
    Timestamp timestamp;
    uint32_t walk;
    Shows shows;
};

TEST_F(GeneratedCatalogTest, EveryMalformationEndsInItsVerdict) {
    const MalformationCase cases[] = {
        {Malformation::kNotSignedData, Timestamp::kNone, 11, [](const peer::Facts& f) { return !f.signedData; }},
        {Malformation::kUnsigned, Timestamp::kNone, 11,
         [](const peer::Facts& f) { return f.signers == 0 && f.certificates == 0 && f.digestAlgorithms == 0; }},
        {Malformation::kWrongContentType, Timestamp::kNone, 11,
         [](const peer::Facts& f) { return f.signedData && !f.trustListContent; }},
        {Malformation::kNestedIndefiniteLength, Timestamp::kNone, 11,
         [](const peer::Facts& f) { return f.contentDigest && f.signature; }},
        {Malformation::kUnknownDigestAlgorithm, Timestamp::kNone, 11,
         [](const peer::Facts& f) { return f.digestAlgorithms == 1 && f.signature; }},
        {Malformation::kTwoDigestAlgorithms, Timestamp::kNone, 11,
         [](const peer::Facts& f) { return f.digestAlgorithms == 2 && f.signature; }},
        {Malformation::kNoCertificates, Timestamp::kNone, 11,
         [](const peer::Facts& f) { return f.certificates == 0 && !f.signature; }},
        {Malformation::kWithCrls, Timestamp::kNone, 11, [](const peer::Facts& f) { return f.crls && f.signature; }},
        {Malformation::kMissingAuthenticatedAttributes, Timestamp::kNone, 11,
         [](const peer::Facts& f) { return f.authenticatedAttributes == 0; }},
        {Malformation::kMissingMessageDigest, Timestamp::kNone, 1, kOnlyContentDigest},
        {Malformation::kBadMessageDigest, Timestamp::kNone, 11, kOnlyContentDigest},
        {Malformation::kOddMessageDigestLength, Timestamp::kNone, 1, kOnlyContentDigest},
        {Malformation::kBadContentDigest, Timestamp::kNone, 11, kOnlyContentDigest},
        {Malformation::kUnknownSignatureAlgorithm, Timestamp::kNone, 11,
         [](const peer::Facts& f) { return !f.rsaEncryption && f.contentDigest; }},
        {Malformation::kBadSignature, Timestamp::kNone, 11, kOnlySignature},
        {Malformation::kBareDigestSignature, Timestamp::kNone, 11, kOnlySignature},
        {Malformation::kExtraSignerInfoField, Timestamp::kPkcs9, 11, kUnparsed},
        {Malformation::kExtraSignerInfoField, Timestamp::kNone, 11, kUnparsed},
        {Malformation::kUndecodableCertificate, Timestamp::kNone, 11, kUnparsed},
        {Malformation::kUnknownSigner, Timestamp::kNone, 1,
         [](const peer::Facts& f) { return f.certificates > 0 && !f.signature && !f.chain; }},
        {Malformation::kBrokenChain, Timestamp::kNone, 11, kOnlyChain},
        {Malformation::kBadCertificateSignature, Timestamp::kNone, 11, kOnlyChain},
        {Malformation::kUntrustedRoot, Timestamp::kNone, 11, kOnlyChain},
        {Malformation::kSelfSignedSigner, Timestamp::kNone, 1, kOnlyChain},
        {Malformation::kBadCountersignature, Timestamp::kPkcs9, 11, kOnlyCountersignature},
        {Malformation::kBadCountersignatureDigest, Timestamp::kPkcs9, 11, kOnlyCountersignature},
        {Malformation::kBadCountersignature, Timestamp::kRfc3161, 11, kOnlyCountersignature},
        {Malformation::kBadCountersignatureDigest, Timestamp::kRfc3161, 11, kOnlyCountersignature},
        {Malformation::kBadTimestampImprint, Timestamp::kRfc3161, 11, kOnlyCountersignature},
        {Malformation::kTimestampWithoutCertificates, Timestamp::kRfc3161, 11, kOnlyCountersignature},
        {Malformation::kUntrustedTimestampRoot, Timestamp::kPkcs9, 11, kOnlyCountersignature},
        {Malformation::kUntrustedTimestampRoot, Timestamp::kRfc3161, 11, kOnlyCountersignature},
    };
    std::set<Malformation> named;
    for (const MalformationCase& c : cases) {
        SCOPED_TRACE(std::string(catgen::NameOf(c.malformation)) + (c.timestamp == Timestamp::kRfc3161 ? " rfc3161" : ""));
        named.insert(c.malformation);
        EXPECT_EQ(catgen::MalformationFromName(catgen::NameOf(c.malformation)), c.malformation);
        CatalogOptions options;
        options.trustList.members = catgen::SyntheticMembers(2, catgen::MemberHash::kSha1);
        options.malformation = c.malformation;
        options.timestamp = c.timestamp;
        const Bytes der = Build(options).der;
        CallbackOutcome outcome = Verify(der);
        EXPECT_EQ(outcome.walk, c.walk);
        EXPECT_FALSE(outcome.accepted);
        EXPECT_TRUE(c.shows(peer_.Inspect(der)));
        // libcrypto reads BER's indefinite lengths, which the engine refuses.
        EXPECT_EQ(peer_.Verify(der).accepted, c.malformation == Malformation::kNestedIndefiniteLength);
    }
    EXPECT_EQ(named.size() + 1, catgen::MalformationNames().size()) << "a malformation without a case";
}

struct AcceptedCase {
    catgen::Digest digest;
    Timestamp timestamp;
    catgen::Digest timestampDigest;
    std::optional<int64_t> time;
    uint32_t expectedTime;
    size_t members = 0;  // 0: the generator's few
    int intermediates = 1;
};

TEST_F(GeneratedCatalogTest, WellFormedCatalogsAreAcceptedWithTheirMembersAndTime) {
    using catgen::Digest;
    const AcceptedCase cases[] = {
        {Digest::kSha1, Timestamp::kNone, Digest::kSha1, 1600000000, 0},
        {Digest::kSha256, Timestamp::kPkcs9, Digest::kSha256, 1600000000, 1600000000},
        {Digest::kSha1, Timestamp::kPkcs9, Digest::kSha1, std::nullopt, 0},
        {Digest::kSha256, Timestamp::kRfc3161, Digest::kSha1, 1600000000, 1600000000},
        {Digest::kSha1, Timestamp::kRfc3161, Digest::kSha256, 1262304001, 1262304001},
        // A two-digit year of 89 is 2089.
        {Digest::kSha256, Timestamp::kPkcs9, Digest::kSha256, 3786825600, 3786825600u, 0, 2},
        // More members than the callback's first chunk holds, compared in order across the chunks.
        {Digest::kSha256, Timestamp::kNone, Digest::kSha256, 1600000000, 0, 600},
    };
    for (const AcceptedCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.digest) << " " << int(c.timestamp) << " " << c.expectedTime);
        CatalogOptions options;
        options.digest = c.digest;
        options.timestamp = c.timestamp;
        options.timestampDigest = c.timestampDigest;
        options.timestampTime = c.time;
        if (c.members != 0) options.trustList.members = catgen::SyntheticMembers(c.members, catgen::MemberHash::kSha256);
        catgen::ChainOptions chain;
        chain.intermediates = c.intermediates;
        catgen::Catalog catalog = Build(options, chain);
        CallbackOutcome outcome = Verify(catalog.der);
        EXPECT_EQ(outcome.walk, 1u);
        EXPECT_TRUE(outcome.accepted);
        EXPECT_EQ(outcome.time, c.expectedTime);
        EXPECT_EQ(outcome.flags, 0x31007u);
        EXPECT_EQ(outcome.members, HexStrings(catalog.memberHashes));
        // libcrypto reads the same catalog: the generator's well-formed output is what it claims.
        const auto theirs = peer_.Verify(catalog.der);
        EXPECT_TRUE(theirs.accepted);
        EXPECT_EQ(theirs.memberHashes, catalog.memberHashes);
        EXPECT_EQ(peer_.Inspect(catalog.der).countersigned, c.timestamp != Timestamp::kNone);
    }
}


struct RevocationCase {
    Timestamp timestamp;
    std::optional<int64_t> time;
    bool accepted;
    bool zoneless = false;  // a time without its Z is no time
};

// A signer on the revocation list stands only when a verified countersignature
// dates it before 2001-03-24 01:00:00 UTC.
TEST_F(GeneratedCatalogTest, RevokedSignerNeedsACountersignatureBeforeTheWindow) {
    const RevocationCase cases[] = {
        {Timestamp::kPkcs9, 985395599, true},   {Timestamp::kPkcs9, 985395600, false},
        {Timestamp::kRfc3161, 983404800, true}, {Timestamp::kRfc3161, 1600000000, false},
        {Timestamp::kNone, 983404800, false},   {Timestamp::kPkcs9, std::nullopt, false},
        {Timestamp::kPkcs9, 985395599, false, true},
    };
    catgen::ChainOptions chain;
    chain.issuerSubject = "/L=Internet/O=VeriSign, Inc./OU=VeriSign Commercial Software Publishers CA";
    chain.leafSerial = {0x75, 0x0e, 0x40, 0xff, 0x97, 0xf0, 0x47, 0xed, 0xf5, 0x56, 0xc7, 0x08, 0x4e, 0xb1, 0xab, 0xfd};
    for (const RevocationCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.timestamp) << " " << c.time.value_or(0));
        CatalogOptions options;
        options.timestamp = c.timestamp;
        options.timestampTime = c.time;
        options.zonelessTimestampTime = c.zoneless;
        CallbackOutcome outcome = Verify(Build(options, chain).der);
        EXPECT_EQ(outcome.accepted, c.accepted);
        EXPECT_EQ(outcome.walk, c.accepted || c.timestamp == Timestamp::kNone ? 1u : 11u);
    }
    // Neither another serial under that issuer nor the same serial under another issuer is listed.
    CatalogOptions options;
    chain.leafSerial.back() ^= 1;
    EXPECT_TRUE(Verify(Build(options, chain).der).accepted);
    chain.leafSerial.back() ^= 1;
    chain.issuerSubject = "/L=Internet/O=VeriSign, Inc./OU=VeriSign Commercial Software Publishers CB";
    EXPECT_TRUE(Verify(Build(options, chain).der).accepted);
}

struct FlagsCase {
    const char* subject;
    std::optional<std::vector<std::string>> usages;
    uint32_t flags;
    bool strict = true;  // the certificate passes the strict encoding check, so value 4 is kept
};

TEST_F(GeneratedCatalogTest, SignerFlagsFollowTheMakerNamesAndKeyUsages) {
    const std::string codeSigning = "1.3.6.1.5.5.7.3.3";
    const std::string component = "1.3.6.1.4.1.311.10.3.6";
    const std::string driver = "1.3.6.1.4.1.311.10.3.5";
    const FlagsCase cases[] = {
        {"/CN=Vendor/O=Vendor", std::nullopt, 0x31007},
        {"/CN=Vendor/O=Vendor", std::vector<std::string>{}, 0x11000},
        {"/CN=Tarnwick Corporation/O=Tarnwick, Inc.", std::nullopt, 0x3900F},
        {"/CN=Tarnwick Corporation/O=Vendor", std::nullopt, 0x31007},
        {"/CN=Vendor/OU=Tarnwick Code Signing", std::vector<std::string>{}, 0x39015},
        {"/CN=Vendor/OU=Tarnwick Code Signing", std::vector<std::string>{codeSigning, component, driver}, 0x39077},
        // Without code signing the other two purposes count for nothing.
        {"/CN=Vendor/OU=Tarnwick Code Signing", std::vector<std::string>{component, driver}, 0x39015},
        // A domain component past its 64 characters passes only the lenient check.
        {"/CN=Vendor/O=Vendor/DC=a-domain-component-longer-than-the-sixty-four-characters-it-may-have", std::nullopt,
         0x31007, false},
        {"/CN=Vendor/OU=Tarnwick Development Code Signing Certificate Unit", std::vector<std::string>{component},
         0x11000},
        {"/CN=Vendor/O=Tarnwick Code Signing", std::vector<std::string>{codeSigning, driver}, 0x39057},
    };
    for (const FlagsCase& c : cases) {
        SCOPED_TRACE(c.subject);
        catgen::ChainOptions chain;
        chain.leafSubject = c.subject;
        chain.leafExtendedKeyUsages = c.usages;
        CatalogOptions options;
        options.timestamp = Timestamp::kPkcs9;
        CallbackOutcome outcome = Verify(Build(options, chain).der);
        EXPECT_TRUE(outcome.accepted);
        EXPECT_EQ(outcome.flags, c.flags);
        EXPECT_EQ(outcome.signerValues.at(3).empty(), !c.strict);
    }
    // An unchecked signer's time-stamp token is not read: its time before 1970 warns of nothing.
    korva::trace::Recorder recorder;
    catgen::ChainOptions chain;
    chain.leafExtendedKeyUsages = std::vector<std::string>{};
    CatalogOptions options;
    options.timestamp = Timestamp::kRfc3161;
    options.timestampTime = -1;
    EXPECT_TRUE(Verify(Build(options, chain).der).accepted);
    EXPECT_FALSE(recorder.Has(korva::trace::Source::Callback, 136));
}

// A countersigner goes to the second anchor list only when no path to the
// first can be built: a code-signing anchor under the time-stamping root's
// name but with another key gives a path whose signatures fail, and that
// failure stands.
TEST_F(GeneratedCatalogTest, ACountersignerChainThatFailsItsSignaturesIsNotTriedAgain) {
    CatalogOptions options;
    options.timestamp = Timestamp::kPkcs9;
    const catgen::Catalog catalog = Build(options);
    ASSERT_TRUE(Verify(catalog.der).accepted);
    const catgen::Identity impostor = catgen::TestRoot("test-tsa-root-impostor", "Korva Generator Test TSA Root");
    ASSERT_EQ(extra_.Add(1, 9003, catgen::CertificateDer(impostor.cert)), TarnVerifyTrustDriver::kCertSuccess);
    anchors_.emplace(&extra_);
    EXPECT_FALSE(Verify(catalog.der).accepted);
    EXPECT_FALSE(countersigned_);
}

struct UnsignedPlaceCase {
    const char* what;
    Timestamp timestamp;
    bool accepted;  // with its genuine members and countersignature verdict
    // Changes the parsed catalog; false when it has no such place.
    std::function<bool(std::vector<DerNode>&)> change;
    const char* real = nullptr;  // the real catalog changed, if not a generated one
};

// ContentInfo [0] SignedData { version, digests, { OID, [0] { list } }, [0] certificates, signerInfos }
DerNode& TrustListContent(std::vector<DerNode>& tree) { return tree[0].children[1].children[0].children[2]; }
DerNode& FirstSignerInfo(std::vector<DerNode>& tree) { return tree[0].children[1].children[0].children.back().children[0]; }

// A field of the SignerInfo (or its child) under another tag.
std::function<bool(std::vector<DerNode>&)> Retag(size_t field, int child, uint8_t tagClass, uint32_t tag) {
    return [=](std::vector<DerNode>& tree) {
        DerNode& node = FirstSignerInfo(tree).children[field];
        DerNode& target = child < 0 ? node : node.children[static_cast<size_t>(child)];
        target.tagClass = tagClass;
        target.tag = tag;
        return true;
    };
}

// The first attribute of a SignerInfo field with a second set of values, or
// with its values before its type.
std::function<bool(std::vector<DerNode>&)> ReshapeAttribute(size_t field, bool secondSet) {
    return [=](std::vector<DerNode>& tree) {
        DerNode& attribute = FirstSignerInfo(tree).children[field].children[0];
        if (secondSet) attribute.children.push_back(attribute.children[1]);
        else std::swap(attribute.children[0], attribute.children[1]);
        return true;
    };
}

// The SignerInfo's issuer with its common name in capitals, which its
// PrintableString still compares equal to the certificate's.
bool CapitalizeSignerIssuer(std::vector<DerNode>& tree) {
    Bytes& commonName = FirstSignerInfo(tree).children[1].children[0].children.back().children[0].children[1].content;
    std::transform(commonName.begin(), commonName.end(), commonName.begin(), [](uint8_t c) { return std::toupper(c); });
    return true;
}

// The signer certificate again, with another signature: a second, different
// certificate under the signer's issuer and serial, after the signer's own.
bool AddSignerTwin(std::vector<DerNode>& tree) {
    std::vector<DerNode>& certificates = tree[0].children[1].children[0].children[3].children;
    DerNode twin = certificates[0];
    twin.children.back().content.back() ^= 1;
    certificates.push_back(twin);
    return true;
}

// Hashes, and a signer's names, written where no signature reaches in an
// accepted catalog: none of the hashes may become a member. Shapes no
// signer produces (other choices among the certificates, a second
// SignerInfo, digest parameters, a twin of the signer certificate, a second
// trust list, unsigned fields under other tags or attributes of another
// shape) refuse the catalog; everything else leaves it accepted with exactly
// what its signatures cover: members, signer values, time and countersignature.
TEST_F(GeneratedCatalogTest, WritingIntoUnsignedPlacesAddsNoMemberAndChangesNoValue) {
    auto at = [](UnsignedPlace place) {
        return [place](std::vector<DerNode>& tree) { return PlaceArmedMember(tree, place); };
    };
    // Only one list is digested: a walk that took a second one would collect
    // members no signature covers.
    CatalogOptions otherOptions;
    otherOptions.trustList.members = catgen::SyntheticMembers(2, catgen::MemberHash::kSha1);
    std::vector<DerNode> otherTree;
    ASSERT_TRUE(ParseDer(Build(otherOptions).der, otherTree));
    const DerNode forged = TrustListContent(otherTree).children[1].children[0];
    auto lists = [](std::vector<DerNode>& tree) -> std::vector<DerNode>& { return TrustListContent(tree).children[1].children; };
    const UnsignedPlaceCase cases[] = {
        {"an [4] among the certificates", Timestamp::kNone, false, at(UnsignedPlace::kCertificatesOther)},
        {"a SET among the certificates", Timestamp::kPkcs9, false, at(UnsignedPlace::kCertificatesSet)},
        {"new unsigned attributes of the signer", Timestamp::kNone, true, at(UnsignedPlace::kSignerUnauthenticated)},
        {"the signer's unsigned attributes", Timestamp::kPkcs9, true, at(UnsignedPlace::kSignerUnauthenticated)},
        {"the signer's digest parameters", Timestamp::kRfc3161, false, at(UnsignedPlace::kSignerDigestParameters)},
        {"a second SignerInfo", Timestamp::kNone, false, at(UnsignedPlace::kSecondSignerInfo)},
        {"a second SignerInfo", Timestamp::kPkcs9, false, at(UnsignedPlace::kSecondSignerInfo)},
        {"the countersigner's unsigned attributes", Timestamp::kPkcs9, true,
         at(UnsignedPlace::kCountersignerUnauthenticated)},
        {"the token's certificates", Timestamp::kRfc3161, true, at(UnsignedPlace::kTokenCertificates)},
        {"the token signer's unsigned attributes", Timestamp::kRfc3161, true,
         at(UnsignedPlace::kTokenSignerUnauthenticated)},
        {"a second certificate under the signer's issuer and serial", Timestamp::kNone, false, AddSignerTwin},
        // The envelope's own tags are signed by nobody either.
        {"the ContentInfo as [16]", Timestamp::kNone, false,
         [](std::vector<DerNode>& tree) { return tree[0].tagClass = 0xA0, true; }},
        {"the SignedData as [16]", Timestamp::kNone, false,
         [](std::vector<DerNode>& tree) { return tree[0].children[1].children[0].tagClass = 0xA0, true; }},
        // Value 2 is the certificate's issuer, not this unsigned copy of it.
        {"the SignerInfo's issuer in capitals", Timestamp::kNone, true, CapitalizeSignerIssuer, "missionplanner_stmcdc.cat"},
        {"a forged list after the signed one", Timestamp::kNone, false,
         [&](std::vector<DerNode>& tree) { return lists(tree).push_back(forged), true; }},
        {"a forged list before the signed one", Timestamp::kNone, false,
         [&](std::vector<DerNode>& tree) { return lists(tree).insert(lists(tree).begin(), forged), true; }},
        {"a second [0] with a forged list", Timestamp::kNone, false,
         [&](std::vector<DerNode>& tree) {
             return TrustListContent(tree).children.push_back(DerNode{0xA0, 0, {}, {forged}, true}), true;
         }},
        {"the signed list twice", Timestamp::kNone, false,
         [&](std::vector<DerNode>& tree) { return lists(tree).push_back(lists(tree)[0]), true; }},
        {"version as [2]", Timestamp::kPkcs9, false, Retag(0, -1, 0x80, 2)},
        {"serial as [2]", Timestamp::kPkcs9, false, Retag(1, 1, 0x80, 2)},
        {"serial as an ENUMERATED", Timestamp::kPkcs9, false, Retag(1, 1, 0x00, 10)},
        {"digest algorithm as an OCTET STRING", Timestamp::kPkcs9, false, Retag(2, 0, 0x00, 4)},
        {"signature as [4]", Timestamp::kPkcs9, false, Retag(5, -1, 0x80, 4)},
        {"a signed attribute with two value sets", Timestamp::kPkcs9, false, ReshapeAttribute(3, true)},
        {"a signed attribute with its values first", Timestamp::kPkcs9, false, ReshapeAttribute(3, false)},
        {"an unsigned attribute with two value sets", Timestamp::kPkcs9, false, ReshapeAttribute(6, true)},
        {"an unsigned attribute with its values first", Timestamp::kPkcs9, false, ReshapeAttribute(6, false)},
    };
    const std::vector<std::string> armed = HexStrings(ArmedMemberHashes());
    for (const UnsignedPlaceCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.what << " " << int(c.timestamp));
        CatalogOptions options;
        options.timestamp = c.timestamp;
        const std::filesystem::path real = std::filesystem::path(KORVA_SHARED_DIR) / "realcats" / (c.real ? c.real : "");
        if (c.real != nullptr && !std::filesystem::exists(real)) continue;
        const Bytes genuine = c.real != nullptr ? ReadFile(real) : Build(options).der;
        const CallbackOutcome before = Verify(genuine);
        const bool countersigned = countersigned_;
        ASSERT_TRUE(before.accepted);
        std::vector<DerNode> tree;
        ASSERT_TRUE(ParseDer(genuine, tree));
        ASSERT_TRUE(c.change(tree));
        const CallbackOutcome after = Verify(EncodeDer(tree));
        EXPECT_EQ(after.accepted, c.accepted);
        for (const std::string& hash : armed) {
            EXPECT_EQ(std::count(after.members.begin(), after.members.end(), hash), 0);
        }
        if (c.accepted) {
            EXPECT_EQ(after.members, before.members);
            EXPECT_EQ(after.signerValues, before.signerValues);
            EXPECT_EQ(after.time, before.time);
            EXPECT_EQ(countersigned_, countersigned);
        }
    }
}

struct HostileCase {
    Hostile kind;
    size_t size;
    size_t members;           // collected when accepted
    uint32_t signatureChecks; // at most, by the last path built
};

// The hostile shapes the bounded-cost benchmark measures, at sizes a test
// affords: each reaches its verdict, and the cross-signed layers cost at
// most one signature check per issuer and candidate.
TEST_F(GeneratedCatalogTest, HostileCatalogsReachTheirVerdicts) {
    const HostileCase cases[] = {
        {Hostile::kLongNames, 200'000, 48, 10},
        {Hostile::kManyMembers, 5'000, 5'000, 10},
        {Hostile::kDeepNesting, 100'000, 0, 0},
        {Hostile::kManyCertificates, 200, 3, 2 * 200 + 10},
        {Hostile::kCrossSigned, 6, 0, 6 + 6 * 6 * 6},
        {Hostile::kLargeExponent, 128, 0, 10},
        {Hostile::kLargeExponent, 4096, 0, 10},
    };
    for (const HostileCase& c : cases) {
        const HostileCatalog catalog = BuildHostile(c.kind, c.size, root_);
        SCOPED_TRACE(catalog.name);
        const CallbackOutcome outcome = Verify(catalog.der);
        EXPECT_EQ(outcome.accepted, catalog.accepted);
        if (catalog.accepted) {
            EXPECT_EQ(outcome.members.size(), c.members);
        }
        EXPECT_LE(toolkit::PathBuildLastSignatureChecks(), c.signatureChecks);
    }
}

}  // namespace
}  // namespace korva::catalog_test
