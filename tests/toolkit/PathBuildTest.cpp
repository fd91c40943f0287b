#include <functional>

#include "tests/toolkit/ChainFixture.h"
#include "tests/toolkit/DerBuilder.h"
#include "toolkit/Dispatch.h"
#include "toolkit/KeyObject.h"
#include "toolkit/PathBuildHooks.h"
#include "toolkit/PathSearch.h"

namespace korva::toolkit::testing {
namespace {

constexpr uint32_t kNamesOnly = 7;    // the engine's chain request: no signatures, validity or status
constexpr uint32_t kSignatures = 6;   // signatures checked; no validity or status
constexpr uint32_t kEverything = 4;   // signatures and validity checked; no status
constexpr uint32_t kNoCritical = 0x80000000;

constexpr int kLayers = 8;
constexpr int kWidth = 8;

class PathBuildTest : public ChainFixture {
protected:
    // Eight layers of eight certificates: every certificate of a layer has the
    // same subject and key and is signed by the layer above (the top layer by
    // a ninth key, or by layer 0 to close a ring), so each one has eight
    // verified issuers and there are 8^8 paths, none to an anchor. Returns the leaf.
    CertObject* Layers(std::vector<TestKey>& keys, bool ring) {
        long serial = 100;
        for (int layer = 0; layer < kLayers; ++layer) {
            const int above = ring ? (layer + 1) % kLayers : layer + 1;
            for (int i = 0; i < kWidth; ++i) {
                Stored({"Layer " + std::to_string(layer), "Layer " + std::to_string(above), serial++, &keys[layer],
                        &keys[above], 0, 0, 1});
            }
        }
        return Stored({"Leaf", "Layer 0", serial, &leafKey_, &keys[0]});
    }

    TestKey rootKey_, interKey_, leafKey_, otherKey_;
    CertSpec root_{"Root", "Root", 1, &rootKey_, &rootKey_, 0, 0, 1, -1, "critical,keyCertSign,cRLSign"};
    CertSpec inter_{"Inter", "Root", 2, &interKey_, &rootKey_, 0, 0, 1, -1, "critical,keyCertSign,cRLSign"};
    CertSpec leaf_{"Leaf", "Inter", 3, &leafKey_, &interKey_};
};

// Each case changes the chain Leaf <- Inter <- Root (trusted) and builds
// from Leaf with one kind and flag set. A candidate dropped by the issuer
// search leaves no path (1872); a path that fails validation answers why.
struct ChainCase {
    const char* name;
    std::function<void(CertSpec& inter, CertSpec& leaf, const TestKey& other)> change;
    uint32_t kind;
    uint32_t flags;
    Status expected;
};

class ChainCaseTest : public PathBuildTest, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(ChainCaseTest, Builds) {
    const ChainCase& c = GetParam();
    c.change(inter_, leaf_, otherKey_);
    CertObject* root = Trusted(root_);
    Stored(inter_);
    CertObject* leaf = Stored(leaf_);
    ASSERT_EQ(Build(leaf, c.kind, c.flags), c.expected);
    if (c.expected == kOk) {
        EXPECT_EQ(PathLength(), 3u);
        EXPECT_EQ(PathAt(0), leaf);
        EXPECT_EQ(PathAt(2), root);
    } else {
        EXPECT_EQ(PathLength(), 0u);
    }
}

const auto kUnchanged = [](CertSpec&, CertSpec&, const TestKey&) {};
const auto kNotCa = [](CertSpec& inter, CertSpec&, const TestKey&) { inter.ca = 0; };
const auto kNoConstraints = [](CertSpec& inter, CertSpec&, const TestKey&) { inter.ca = -1; };
const auto kExpired = [](CertSpec& inter, CertSpec&, const TestKey&) {
    inter.notBefore = time(nullptr) - 3 * 86400;
    inter.notAfter = time(nullptr) - 2 * 86400;
};
const auto kWrongSigner = [](CertSpec&, CertSpec& leaf, const TestKey& other) { leaf.signer = &other; };
const auto kNoCertSign = [](CertSpec& inter, CertSpec&, const TestKey&) { inter.keyUsage = "critical,digitalSignature"; };
// Critical certificatePolicies: known to the decoder, not processed by path validation.
const auto kCriticalPolicies = [](CertSpec& inter, CertSpec&, const TestKey&) {
    inter.extensions.push_back({"2.5.29.32", true, {0x30, 0x06, 0x30, 0x04, 0x06, 0x02, 0x2A, 0x03}});
};
// Name constraints, policies and mappings: kinds 2 and 3 only.
const auto kExcludedName = [](CertSpec& inter, CertSpec& leaf, const TestKey&) {
    inter.extensions.push_back({"2.5.29.30", true, Tlv(0x30, Tlv(0xA1, Tlv(0x30, Tlv(0x82, Text("bad.example")))))});
    leaf.extensions.push_back({"2.5.29.17", false, Sequence({Tlv(0x82, Text("www.bad.example"))})});
};
const auto kMappingFromAnyPolicy = [](CertSpec& inter, CertSpec&, const TestKey&) {
    Der anyPolicy = {0x06, 0x04, 0x55, 0x1D, 0x20, 0x00};
    inter.extensions.push_back({"2.5.29.33", false, Sequence({Sequence({anyPolicy, Tlv(0x06, {0x2A, 0x03})})})});
};
const auto kKeyIds = [](Der ski) {
    return [ski](CertSpec& inter, CertSpec& leaf, const TestKey&) {
        leaf.authorityKeyId = {1, 2, 3};
        inter.subjectKeyId = ski;
    };
};

// Every fault above that a flag turns off, and a mapping kind 2 does not process.
const auto kAllSkippable = [](CertSpec& inter, CertSpec& leaf, const TestKey& other) {
    using Change = std::function<void(CertSpec&, CertSpec&, const TestKey&)>;
    for (const Change& change : {Change(kNotCa), Change(kNoCertSign), Change(kCriticalPolicies), Change(kExcludedName),
                                 Change(kMappingFromAnyPolicy), Change(kKeyIds({9}))}) {
        change(inter, leaf, other);
    }
};

INSTANTIATE_TEST_SUITE_P(
    Chains, ChainCaseTest,
    ::testing::Values(
        ChainCase{"PlainNamesOnly", kUnchanged, 1, kNamesOnly, kOk},
        ChainCase{"WrongSignatureNamesOnly", kWrongSigner, 1, kNamesOnly, kOk},
        ChainCase{"WrongSignatureChecked", kWrongSigner, 1, kSignatures, kPathAtTrustAnchor},
        ChainCase{"ExpiredInterUnchecked", kExpired, 1, kNamesOnly, kOk},
        ChainCase{"ExpiredInterChecked", kExpired, 1, kEverything, kPathAtTrustAnchor},
        ChainCase{"NotCaKind1", kNotCa, 1, kSignatures, kOk},
        ChainCase{"NotCaKind2", kNotCa, 2, kSignatures, kPathRejected},
        ChainCase{"NoConstraintsKind2", kNoConstraints, 2, kSignatures, kPathRejected},
        ChainCase{"NoCertSignKind2", kNoCertSign, 2, kSignatures, kPathRejected},
        ChainCase{"CriticalPoliciesKind2", kCriticalPolicies, 2, kNamesOnly, kPathRejected},
        ChainCase{"KeyIdsMatch", kKeyIds({1, 2, 3}), 2, kSignatures, kOk},
        ChainCase{"KeyIdsDiffer", kKeyIds({9}), 2, kSignatures, kPathAtTrustAnchor},
        ChainCase{"KeyIdsIgnoredByKind1", kKeyIds({9}), 1, kSignatures, kOk},
        ChainCase{"ExcludedNameKind2", kExcludedName, 2, kSignatures, kPathRejected},
        ChainCase{"ExplicitPolicyRequiredKind3", kUnchanged, 3, kSignatures | 0x40000, kNoAcceptablePolicy},
        ChainCase{"MappingFromAnyPolicyKind3", kMappingFromAnyPolicy, 3, kSignatures, kAnyPolicyMapping},
        ChainCase{"AllSkippedByFlagsKind2", kAllSkippable, 2, kSignatures | 0x10 | 0x20 | 0x40 | 0x200 | kNoCritical, kOk}),
    [](const ::testing::TestParamInfo<ChainCase>& test) { return std::string(test.param.name); });

TEST_F(PathBuildTest, PathLengthConstraintHoldsUnderKind3) {
    TestKey secondKey;
    Trusted(root_);
    inter_.pathLength = 0;
    Stored(inter_);
    Stored({"Second", "Inter", 4, &secondKey, &interKey_, 0, 0, 1, -1, "critical,keyCertSign"});
    CertObject* leaf = Stored({"Leaf", "Second", 5, &leafKey_, &secondKey});
    EXPECT_EQ(Build(leaf, 3, kSignatures), kPathRejected);
    EXPECT_EQ(Build(leaf, 1, kSignatures), kOk);
    EXPECT_EQ(PathLength(), 4u);
}

TEST_F(PathBuildTest, CrossPairWithoutAnchorEndsWithoutPath) {
    TestKey aKey, bKey;
    Stored({"A", "B", 10, &aKey, &bKey, 0, 0, 1});
    Stored({"B", "A", 11, &bKey, &aKey, 0, 0, 1});
    CertObject* leaf = Stored({"Leaf", "A", 12, &leafKey_, &aKey});
    EXPECT_EQ(Build(leaf, 1, kSignatures), kPathAtTrustAnchor);
    EXPECT_EQ(Build(leaf, 1, kNamesOnly), kPathAtTrustAnchor);
    EXPECT_EQ(PathLength(), 0u);
}

TEST_F(PathBuildTest, CandidateBothTrustedAndStoredIsCheckedOnce) {
    CertObject* root = Trusted(root_);
    ASSERT_EQ(DbInsertCert(database_, root), kOk);
    Stored(inter_);
    EXPECT_EQ(Build(Stored(leaf_), 1, kSignatures), kOk);
    EXPECT_EQ(PathBuildLastSignatureChecks(), 2u);
}

TEST_F(PathBuildTest, CrossSignedLayersEndAfterBoundedWork) {
    std::vector<TestKey> keys(kLayers + 1);
    CertObject* leaf = Layers(keys, false);
    EXPECT_EQ(Build(leaf, 1, kSignatures), kPathAtTrustAnchor);
    // The leaf's issuers, then each certificate of layers 0-6 searched once.
    EXPECT_EQ(PathBuildLastSignatureChecks(), uint32_t(kWidth + (kLayers - 1) * kWidth * kWidth));
    EXPECT_EQ(Build(leaf, 1, kNamesOnly), kPathAtTrustAnchor);
    EXPECT_EQ(PathBuildLastSignatureChecks(), 0u);
}

// Closed into a ring, every path loops back into itself, so no dead end
// holds apart from the path below it, and the step cap ends the search.
TEST_F(PathBuildTest, CrossSignedRingEndsAtTheStepCap) {
    std::vector<TestKey> keys(kLayers);
    CertObject* leaf = Layers(keys, true);
    EXPECT_EQ(Build(leaf, 1, kNamesOnly), kPathAtTrustAnchor);
    EXPECT_EQ(PathBuildLastSearchSteps(), kPathMaxSearchSteps + 1);
    EXPECT_EQ(Build(leaf, 1, kSignatures), kPathAtTrustAnchor);
    EXPECT_LE(PathBuildLastSignatureChecks(), uint32_t(kWidth + kLayers * kWidth * kWidth));
}

TEST_F(PathBuildTest, SingleCertificateCheck) {
    CertObject* inter = Stored(inter_);
    KeyObject* key = nullptr;
    ASSERT_EQ(KeyObjectCreate(&key), kOk);
    CertFields fields{};
    CertObject* other = Load(MakeCert({"Other", "Other", 9, &otherKey_, &otherKey_}));
    ASSERT_EQ(CertGetFields(other, &fields), kOk);
    KeyBytes spki{fields.subjectPublicKeyInfo.data, fields.subjectPublicKeyInfo.length};
    ASSERT_EQ(KeyObjectSetInfo(key, kKeyFormatRsaSpki, &spki), 0u);
    PathParams params{3, kSignatures, trusted_, nullptr, time_, database_};
    Status mismatch = PathVerifyRequest(context_, &params, inter, key);
    EXPECT_TRUE(mismatch == kSignatureMismatch || mismatch == kPathRejected) << mismatch;
    params.flags = kNamesOnly;
    EXPECT_EQ(PathVerifyRequest(context_, &params, inter, key), kOk);
    params.kind = 4;
    EXPECT_EQ(PathVerifyRequest(context_, &params, inter, key), kNotForThisProvider);
    EXPECT_EQ(PathBuildRequest(context_, &params, inter, path_, nullptr, nullptr, nullptr), kNotForThisProvider);
    KeyObjectFree(&key);
}

}  // namespace
}  // namespace korva::toolkit::testing
