// A tree of generated catalogs under a few test chains, built with every
// shortcut off and then on: the Cat.DB bytes and the verdicts the engine
// reports must not differ, for a full build and for a rerun over it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/ExtraRoots.h"
#include "catalog/FastPathsOverride.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "platform/TraceRecorder.h"
#include "tests/common/TempFiles.h"
#include "tools/catgen/Catalog.h"

namespace TarnVerifyTrustDriver::test {
namespace {

namespace catgen = korva::catgen;
namespace fs = std::filesystem;
using catgen::Malformation;
using catgen::Timestamp;
using korva::test_support::ReadBytes;
using korva::test_support::TempDirectory;
using korva::trace::Recorder;
using korva::trace::Source;

struct Chain {
    int intermediates;
    catgen::Digest digest;
};

// What one catalog of the tree is: its chain, its shape and what is wrong.
struct CatalogCase {
    const char* name;
    int chain;
    int members;
    int firstMember;  // members are numbered; catalogs that overlap share hashes
    catgen::Digest digest;
    Timestamp timestamp;
    Malformation malformation;
};

constexpr auto kSha1 = catgen::Digest::kSha1;
constexpr auto kSha256 = catgen::Digest::kSha256;

const Chain kChains[] = {{1, kSha256}, {2, kSha256}, {1, kSha1}};

// Good catalogs of each chain come before and after catalogs whose chain or
// signature is damaged, so that a check remembered from one could wrongly
// answer for the other.
const CatalogCase kTree[] = {
    {"a01.cat", 0, 3, 0, kSha256, Timestamp::kNone, Malformation::kNone},
    {"a02.cat", 0, 12, 2, kSha1, Timestamp::kPkcs9, Malformation::kNone},
    {"a03.cat", 0, 5, 100, kSha256, Timestamp::kRfc3161, Malformation::kBadCertificateSignature},
    {"a04.cat", 0, 7, 200, kSha256, Timestamp::kRfc3161, Malformation::kNone},
    {"a05.cat", 1, 1, 300, kSha256, Timestamp::kPkcs9, Malformation::kBadSignature},
    {"a06.cat", 1, 40, 10, kSha256, Timestamp::kPkcs9, Malformation::kNone},
    {"a07.cat", 1, 2, 400, kSha1, Timestamp::kNone, Malformation::kBrokenChain},
    {"a08.cat", 1, 9, 500, kSha1, Timestamp::kRfc3161, Malformation::kNone},
    {"a09.cat", 2, 4, 600, kSha1, Timestamp::kPkcs9, Malformation::kUntrustedRoot},
    {"a10.cat", 2, 6, 0, kSha1, Timestamp::kPkcs9, Malformation::kNone},
    {"a11.cat", 2, 3, 700, kSha256, Timestamp::kNone, Malformation::kSelfSignedSigner},
    {"a12.cat", 0, 8, 800, kSha256, Timestamp::kPkcs9, Malformation::kBadCountersignature},
    {"a13.cat", 2, 5, 900, kSha1, Timestamp::kRfc3161, Malformation::kUntrustedTimestampRoot},
    {"a14.cat", 0, 2, 1000, kSha256, Timestamp::kNone, Malformation::kBadContentDigest},
    {"a15.cat", 1, 3, 1100, kSha256, Timestamp::kNone, Malformation::kUnsigned},
    {"a16.cat", 0, 30, 1200, kSha1, Timestamp::kRfc3161, Malformation::kNone},
    {"b01.cat", 2, 4, 1300, kSha256, Timestamp::kNone, Malformation::kNone},
    {"b02.cat", 1, 6, 1, kSha256, Timestamp::kRfc3161, Malformation::kBadCertificateSignature},
    {"b03.cat", 1, 6, 1400, kSha256, Timestamp::kRfc3161, Malformation::kNone},
};

std::vector<catgen::Member> Members(int count, int first, catgen::MemberHash kind) {
    std::vector<catgen::Member> members;
    for (int i = first; i < first + count; ++i) {
        std::string name = "member" + std::to_string(i) + ".sys";
        catgen::Bytes content(name.begin(), name.end());
        auto digest = kind == catgen::MemberHash::kSha256 ? kSha256 : kSha1;
        members.push_back({name, catgen::Hash(digest, content), kind, i % 2 == 0});
    }
    return members;
}

// One system directory for the process: its lookup is kept once made.
const fs::path& SystemRoot() {
    static TempDirectory root;
    static bool configured = (setenv("KORVA_SYSTEM_DIR", root.path().string().c_str(), 1), true);
    (void)configured;
    return root.path();
}

class FastPathEquivalenceTest : public testing::Test {
protected:
    static void SetUpTestSuite() { catgen::SetKeyBits(1024); }

    void SetUp() override {
        fs::path catalogRoot = SystemRoot() / "CatRoot";
        fs::remove_all(catalogRoot);
        fs::path second = catalogRoot / CCatalogDatabaseSingleton::kSecondCatalogDirectory;
        fs::path first = catalogRoot / CCatalogDatabaseSingleton::kFirstCatalogDirectory;
        fs::create_directories(first);
        fs::create_directories(second);
        std::vector<catgen::Identity> roots;
        for (size_t c = 0; c < std::size(kChains); ++c) {
            roots.push_back(catgen::TestRoot("equivalence-root-" + std::to_string(c), "Equivalence Root " + std::to_string(c)));
            ASSERT_EQ(extra_.Add(1, 9100 + c, catgen::CertificateDer(roots.back().cert)), 1u);
        }
        for (const CatalogCase& c : kTree) {
            catgen::CatalogOptions options;
            options.digest = c.digest;
            options.timestampDigest = c.digest;
            options.timestamp = c.timestamp;
            options.malformation = c.malformation;
            options.trustList.members =
                Members(c.members, c.firstMember, c.digest == kSha256 ? catgen::MemberHash::kSha256 : catgen::MemberHash::kSha1);
            catgen::ChainOptions chain;
            chain.intermediates = kChains[c.chain].intermediates;
            chain.digest = kChains[c.chain].digest;
            catgen::Chain signer = catgen::SignerChainFor(roots[c.chain], chain, c.malformation);
            catgen::Chain stamper = catgen::TimeStamperChainFor(roots[c.chain], chain, c.malformation);
            catgen::Catalog catalog = catgen::BuildCatalog(options, signer, &stamper);
            ASSERT_TRUE(catgen::WriteCatalog((c.name[0] == 'a' ? second : first) / c.name, catalog.der));
        }
        verification_.TrustExtraRoots(&extra_);
        previous_ = SetCatalogVerification(&verification_);
    }
    void TearDown() override {
        SetCatalogVerification(previous_);
        SetFastPathsEnabled(true);
    }

    struct Build {
        std::vector<uint8_t> database;
        std::vector<std::wstring> verdicts;  // the engine's and the store's events, in order
    };

    // One update cycle of a fresh engine into `output`.
    Build Run(const TempDirectory& output) {
        Build build;
        Recorder recorder;
        CCatalogDatabase* handle = nullptr;
        EXPECT_EQ(CreateCatalogDatabase(output.path().wstring().c_str(), &handle), kSuccess);
        if (CCatalogDatabaseSingleton* engine = CCatalogDatabaseSingleton::Instance()) engine->RunUpdateCycle();
        EXPECT_EQ(ReleaseCatalogDatabase(handle), kSuccess);
        for (const Recorder::Event& event : recorder.events()) {
            if (event.source != Source::Engine && event.source != Source::Store && event.source != Source::Record) continue;
            std::wstring line = std::to_wstring(static_cast<int>(event.source)) + L" " + std::to_wstring(event.number);
            for (uint64_t number : event.numbers) line += L" " + std::to_wstring(number);
            for (const std::wstring& text : event.texts) line += L" " + text;
            build.verdicts.push_back(line);
        }
        build.database = ReadBytes(output.File(L"Cat.DB"));
        return build;
    }

    CExtraRoots extra_;
    CCertificateVerification verification_;
    ICatalogVerification* previous_ = nullptr;
};

TEST_F(FastPathEquivalenceTest, ShortcutsChangeNoByteAndNoVerdict) {
    TempDirectory plainOutput, fastOutput;
    SetFastPathsEnabled(false);
    Build plain = Run(plainOutput);
    Build plainRerun = Run(plainOutput);
    SetFastPathsEnabled(true);
    Build fast = Run(fastOutput);
    Build fastRerun = Run(fastOutput);

    // The tree is no trivial one: some catalogs are kept, some refused.
    size_t kept = 0;
    for (const std::wstring& line : plain.verdicts) kept += line.starts_with(L"8 29 ");
    EXPECT_GE(kept, 8u);
    EXPECT_LE(kept, std::size(kTree) - 8);
    EXPECT_GT(plain.database.size(), 1000u);

    EXPECT_TRUE(fast.database == plain.database);
    EXPECT_EQ(fast.verdicts, plain.verdicts);
    EXPECT_TRUE(fastRerun.database == plainRerun.database);
    EXPECT_EQ(fastRerun.verdicts, plainRerun.verdicts);
    EXPECT_TRUE(fastRerun.database == fast.database);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
