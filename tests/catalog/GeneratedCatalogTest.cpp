// Generated catalogs through the callback: every malformation the generator
// knows ends in the verdict it must, the well-formed ones (and osslsigncode's)
// are accepted, and the revocation window and signer flags follow the signer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "catalog/CertResult.h"
#include "catalog/ExtraRoots.h"
#include "tests/catalog/CallbackTestSupport.h"
#include "tools/catgen/Catalog.h"
#include "tools/catgen/CommandLine.h"

namespace korva::catalog_test {
namespace {

using catgen::CatalogOptions;
using catgen::Malformation;
using catgen::Timestamp;
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
    catgen::Chain signer_;
    catgen::Chain timeStamper_;
    TarnVerifyTrustDriver::CExtraRoots extra_;
    std::optional<RootAnchors> anchors_;
    bool countersigned_ = false;
};

struct MalformationCase {
    Malformation malformation;
    Timestamp timestamp;
    uint32_t walk;
};

TEST_F(GeneratedCatalogTest, EveryMalformationEndsInItsVerdict) {
    const MalformationCase cases[] = {
        {Malformation::kNotSignedData, Timestamp::kNone, 11},
        {Malformation::kUnsigned, Timestamp::kNone, 11},
        {Malformation::kWrongContentType, Timestamp::kNone, 11},
        {Malformation::kNestedIndefiniteLength, Timestamp::kNone, 11},
        {Malformation::kUnknownDigestAlgorithm, Timestamp::kNone, 11},
        {Malformation::kTwoDigestAlgorithms, Timestamp::kNone, 11},
        {Malformation::kNoCertificates, Timestamp::kNone, 11},
        {Malformation::kWithCrls, Timestamp::kNone, 11},
        {Malformation::kMissingAuthenticatedAttributes, Timestamp::kNone, 11},
        {Malformation::kMissingMessageDigest, Timestamp::kNone, 1},
        {Malformation::kBadMessageDigest, Timestamp::kNone, 11},
        {Malformation::kOddMessageDigestLength, Timestamp::kNone, 1},
        {Malformation::kBadContentDigest, Timestamp::kNone, 11},
        {Malformation::kUnknownSignatureAlgorithm, Timestamp::kNone, 11},
        {Malformation::kBadSignature, Timestamp::kNone, 11},
        {Malformation::kBareDigestSignature, Timestamp::kNone, 11},
        {Malformation::kExtraSignerInfoField, Timestamp::kPkcs9, 11},
        {Malformation::kExtraSignerInfoField, Timestamp::kNone, 11},
        {Malformation::kUndecodableCertificate, Timestamp::kNone, 11},
        {Malformation::kUnknownSigner, Timestamp::kNone, 1},
        {Malformation::kBrokenChain, Timestamp::kNone, 11},
        {Malformation::kBadCertificateSignature, Timestamp::kNone, 11},
        {Malformation::kUntrustedRoot, Timestamp::kNone, 11},
        {Malformation::kSelfSignedSigner, Timestamp::kNone, 1},
        {Malformation::kBadCountersignature, Timestamp::kPkcs9, 11},
        {Malformation::kBadCountersignatureDigest, Timestamp::kPkcs9, 11},
        {Malformation::kBadCountersignature, Timestamp::kRfc3161, 11},
        {Malformation::kBadCountersignatureDigest, Timestamp::kRfc3161, 11},
        {Malformation::kBadTimestampImprint, Timestamp::kRfc3161, 11},
        {Malformation::kTimestampWithoutCertificates, Timestamp::kRfc3161, 11},
        {Malformation::kUntrustedTimestampRoot, Timestamp::kPkcs9, 11},
    };
    for (const MalformationCase& c : cases) {
        SCOPED_TRACE(std::string(catgen::NameOf(c.malformation)) + (c.timestamp == Timestamp::kRfc3161 ? " rfc3161" : ""));
        CatalogOptions options;
        options.malformation = c.malformation;
        options.timestamp = c.timestamp;
        CallbackOutcome outcome = Verify(Build(options).der);
        EXPECT_EQ(outcome.walk, c.walk);
        EXPECT_FALSE(outcome.accepted);
    }
}

struct AcceptedCase {
    catgen::Digest digest;
    Timestamp timestamp;
    catgen::Digest timestampDigest;
    std::optional<int64_t> time;
    uint32_t expectedTime;
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
        {Digest::kSha256, Timestamp::kPkcs9, Digest::kSha256, 3786825600, 3786825600u},
    };
    for (const AcceptedCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.digest) << " " << int(c.timestamp) << " " << c.expectedTime);
        CatalogOptions options;
        options.digest = c.digest;
        options.timestamp = c.timestamp;
        options.timestampDigest = c.timestampDigest;
        options.timestampTime = c.time;
        catgen::Catalog catalog = Build(options);
        CallbackOutcome outcome = Verify(catalog.der);
        EXPECT_EQ(outcome.walk, 1u);
        EXPECT_TRUE(outcome.accepted);
        EXPECT_EQ(outcome.time, c.expectedTime);
        EXPECT_EQ(outcome.flags, 0x31007u);
        std::vector<std::string> members;
        for (const Bytes& hash : catalog.memberHashes) members.push_back(Hex(hash.data(), hash.size()));
        EXPECT_EQ(outcome.members, members);
    }
}

}  // namespace
}  // namespace korva::catalog_test
