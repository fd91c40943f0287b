// The libcrypto peer reaches the verdict each generated catalog must get, and
// collects the SHA-1 and SHA-256 member hashes in document order: the peer is
// only a yardstick if it refuses what the engine refuses for the same reason.
#include <gtest/gtest.h>

#include "bench/PeerVerifier.h"
#include "tools/catgen/Catalog.h"

namespace korva::bench {
namespace {

using catgen::Bytes;
using catgen::Digest;
using catgen::Malformation;
using catgen::Timestamp;

class PeerVerifierTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { catgen::SetKeyBits(1024); }

    catgen::Catalog Build(catgen::CatalogOptions options, int intermediates = 1) {
        catgen::ChainOptions chain;
        chain.intermediates = intermediates;
        chain.digest = options.digest;
        catgen::ChainOptions stamper;
        stamper.role = catgen::ChainRole::kTimeStamping;
        const catgen::Chain signer = catgen::SignerChainFor(root_, chain, options.malformation);
        const catgen::Chain timeStamper = catgen::TimeStamperChainFor(tsaRoot_, stamper, options.malformation);
        return catgen::BuildCatalog(options, signer, &timeStamper);
    }

    PeerVerifier Peer() const {
        return PeerVerifier({catgen::CertificateDer(root_.cert)}, {catgen::CertificateDer(tsaRoot_.cert)});
    }

    catgen::Identity root_ = catgen::TestRoot("peer-root", "Korva Peer Test Root");
    catgen::Identity tsaRoot_ = catgen::TestRoot("peer-tsa-root", "Korva Peer Test TSA Root");
};

struct RefusalCase {
    Malformation malformation;
    Timestamp timestamp;
};

TEST_F(PeerVerifierTest, RefusesEveryBrokenCatalog) {
    const RefusalCase cases[] = {
        {Malformation::kNotSignedData, Timestamp::kNone},
        {Malformation::kUnsigned, Timestamp::kNone},
        {Malformation::kWrongContentType, Timestamp::kNone},
        {Malformation::kTwoDigestAlgorithms, Timestamp::kNone},
        {Malformation::kWithCrls, Timestamp::kNone},
        {Malformation::kMissingAuthenticatedAttributes, Timestamp::kNone},
        {Malformation::kMissingMessageDigest, Timestamp::kNone},
        {Malformation::kBadMessageDigest, Timestamp::kNone},
        {Malformation::kOddMessageDigestLength, Timestamp::kNone},
        {Malformation::kBadContentDigest, Timestamp::kNone},
        {Malformation::kUnknownSignatureAlgorithm, Timestamp::kNone},
        {Malformation::kBadSignature, Timestamp::kNone},
        {Malformation::kBareDigestSignature, Timestamp::kNone},
        {Malformation::kUnknownSigner, Timestamp::kNone},
        {Malformation::kBrokenChain, Timestamp::kNone},
        {Malformation::kBadCertificateSignature, Timestamp::kNone},
        {Malformation::kUntrustedRoot, Timestamp::kNone},
        {Malformation::kSelfSignedSigner, Timestamp::kNone},
        {Malformation::kBadCountersignature, Timestamp::kPkcs9},
        {Malformation::kBadCountersignatureDigest, Timestamp::kPkcs9},
        {Malformation::kBadCountersignature, Timestamp::kRfc3161},
        {Malformation::kBadCountersignatureDigest, Timestamp::kRfc3161},
        {Malformation::kBadTimestampImprint, Timestamp::kRfc3161},
        {Malformation::kTimestampWithoutCertificates, Timestamp::kRfc3161},
        {Malformation::kUntrustedTimestampRoot, Timestamp::kPkcs9},
        {Malformation::kUntrustedTimestampRoot, Timestamp::kRfc3161},
    };
    const PeerVerifier peer = Peer();
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(std::string(catgen::NameOf(c.malformation)) + (c.timestamp == Timestamp::kRfc3161 ? " rfc3161" : ""));
        catgen::CatalogOptions options;
        options.trustList.members = catgen::SyntheticMembers(3, catgen::MemberHash::kSha1);
        options.malformation = c.malformation;
        options.timestamp = c.timestamp;
        EXPECT_FALSE(peer.Verify(Build(options).der).accepted);
    }
}

struct AcceptedCase {
    Digest digest;
    Timestamp timestamp;
    catgen::MemberHash members;
    int intermediates;
};

TEST_F(PeerVerifierTest, AcceptsWellFormedCatalogsWithTheirMembersInOrder) {
    const AcceptedCase cases[] = {
        {Digest::kSha1, Timestamp::kNone, catgen::MemberHash::kSha1, 1},
        {Digest::kSha256, Timestamp::kPkcs9, catgen::MemberHash::kSha256, 2},
        {Digest::kSha1, Timestamp::kRfc3161, catgen::MemberHash::kSha256, 2},
        {Digest::kSha256, Timestamp::kRfc3161, catgen::MemberHash::kSha1, 1},
        // MD5 members are listed but contribute no hash.
        {Digest::kSha256, Timestamp::kNone, catgen::MemberHash::kMd5, 1},
    };
    const PeerVerifier peer = Peer();
    for (const AcceptedCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.digest) << " " << int(c.timestamp) << " " << int(c.members));
        catgen::CatalogOptions options;
        options.digest = c.digest;
        options.timestamp = c.timestamp;
        options.timestampDigest = c.digest;
        options.trustList.members = catgen::SyntheticMembers(7, c.members);
        options.trustList.members.push_back(catgen::SyntheticMembers(9, catgen::MemberHash::kSha256).back());
        const catgen::Catalog catalog = Build(options, c.intermediates);
        const Verdict verdict = peer.Verify(catalog.der);
        EXPECT_TRUE(verdict.accepted);
        EXPECT_EQ(verdict.memberHashes, catalog.memberHashes);
    }
}

struct AnchorCase {
    bool codeSigningRoot;  // the signer's root among the code-signing roots
    bool stamperRootForCodeSigning;
    bool stamperRoot;      // the time-stamping root among the time-stamping roots
    Timestamp timestamp;
    bool accepted;
};

// Each chain must end in a root of its own purpose: a time-stamping root
// vouches for no signer, and a code-signing root for no time-stamper.
TEST_F(PeerVerifierTest, EachChainEndsInARootOfItsOwnPurpose) {
    const AnchorCase cases[] = {
        {true, false, true, Timestamp::kPkcs9, true},
        {true, false, false, Timestamp::kNone, true},
        {false, true, true, Timestamp::kNone, false},
        {true, true, false, Timestamp::kPkcs9, false},
        {true, true, false, Timestamp::kRfc3161, false},
        {true, false, false, Timestamp::kRfc3161, false},
    };
    const Bytes root = catgen::CertificateDer(root_.cert);
    const Bytes tsaRoot = catgen::CertificateDer(tsaRoot_.cert);
    for (const AnchorCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.codeSigningRoot << c.stamperRootForCodeSigning << c.stamperRoot << " "
                                          << int(c.timestamp));
        std::vector<Bytes> codeSigning, timeStamping;
        if (c.codeSigningRoot) codeSigning.push_back(root);
        if (c.stamperRootForCodeSigning) codeSigning.push_back(tsaRoot);
        if (c.stamperRoot) timeStamping.push_back(tsaRoot);
        catgen::CatalogOptions options;
        options.trustList.members = catgen::SyntheticMembers(2, catgen::MemberHash::kSha256);
        options.timestamp = c.timestamp;
        EXPECT_EQ(PeerVerifier(codeSigning, timeStamping).Verify(Build(options).der).accepted, c.accepted);
    }
}

TEST_F(PeerVerifierTest, RefusesTruncatedAndEmptyInput) {
    catgen::CatalogOptions options;
    options.trustList.members = catgen::SyntheticMembers(2, catgen::MemberHash::kSha1);
    const catgen::Bytes der = Build(options).der;
    const PeerVerifier peer = Peer();
    for (size_t size : {size_t{0}, size_t{1}, der.size() / 2, der.size() - 1}) {
        SCOPED_TRACE(size);
        EXPECT_FALSE(peer.Verify(catgen::Bytes(der.begin(), der.begin() + static_cast<long>(size))).accepted);
    }
}

}  // namespace
}  // namespace korva::bench
