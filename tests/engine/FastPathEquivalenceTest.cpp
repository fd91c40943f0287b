// A tree of generated catalogs under a few test chains, built with every
// shortcut off and then on, and by 1, 2 and 8 walking threads: the Cat.DB
// bytes and the verdicts the engine reports must not differ, for a full build
// and for a rerun over it; across thread counts every trace event comes in
// the same order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/ExtraRoots.h"
#include "catalog/FastPathsOverride.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "engine/WalkAheadOverride.h"
#include "engine/WorkerCountOverride.h"
#include "platform/TraceRecorder.h"
#include "tests/common/TempFiles.h"
#include "tools/catgen/Catalog.h"

namespace TarnVerifyTrustDriver::test {
namespace {

namespace catgen = korva::catgen;
namespace fs = std::filesystem;
using catgen::Malformation;
using catgen::Timestamp;
using korva::test_support::TempDirectory;
using korva::trace::Source;

constexpr auto kSha1 = catgen::Digest::kSha1;
constexpr auto kSha256 = catgen::Digest::kSha256;

// Chain c has 1 + c % 2 intermediates and signs with SHA-1 when c is 2.
// Good catalogs of each chain come before and after ones whose chain or
// signature is damaged, so that a check remembered from one could wrongly
// answer for the other; overlapping member ranges repeat hashes.
struct CatalogCase {
    const char* name;
    int chain, members, firstMember;
    catgen::Digest digest;
    Timestamp timestamp;
    Malformation malformation;
};
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

class FastPathEquivalenceTest : public testing::Test {
protected:
    void SetUp() override {
        catgen::SetKeyBits(1024);
        // One system directory for the process: its lookup is kept once made.
        static TempDirectory system;
        setenv("KORVA_SYSTEM_DIR", system.path().string().c_str(), 1);
        fs::path catalogs = system.path() / "CatRoot";
        fs::remove_all(catalogs);
        std::vector<catgen::Identity> roots;
        for (int c = 0; c < 3; ++c) {
            roots.push_back(catgen::TestRoot("equivalence-root-" + std::to_string(c), "Equivalence Root " + std::to_string(c)));
            ASSERT_EQ(extra_.Add(1, 9100 + c, catgen::CertificateDer(roots.back().cert)), 1u);
        }
        for (const CatalogCase& c : kTree) {
            catgen::CatalogOptions options;
            options.digest = options.timestampDigest = c.digest;
            options.timestamp = c.timestamp;
            options.malformation = c.malformation;
            auto kind = c.digest == kSha256 ? catgen::MemberHash::kSha256 : catgen::MemberHash::kSha1;
            for (int i = c.firstMember; i < c.firstMember + c.members; ++i) {
                std::string name = "member" + std::to_string(i) + ".sys";
                options.trustList.members.push_back({name, catgen::Hash(c.digest, {name.begin(), name.end()}), kind, i % 2 == 0});
            }
            catgen::ChainOptions chain;
            chain.intermediates = 1 + c.chain % 2;
            chain.digest = c.chain == 2 ? kSha1 : kSha256;
            catgen::Chain signer = catgen::SignerChainFor(roots[c.chain], chain, c.malformation);
            catgen::Chain stamper = catgen::TimeStamperChainFor(roots[c.chain], chain, c.malformation);
            fs::path directory = catalogs / (c.name[0] == 'a' ? CCatalogDatabaseSingleton::kSecondCatalogDirectory
                                                              : CCatalogDatabaseSingleton::kFirstCatalogDirectory);
            fs::create_directories(directory);
            ASSERT_TRUE(catgen::WriteCatalog(directory / c.name, catgen::BuildCatalog(options, signer, &stamper).der));
        }
        verification_.TrustExtraRoots(&extra_);
        previous_ = SetCatalogVerification(&verification_);
    }
    void TearDown() override {
        SetCatalogVerification(previous_);
        SetFastPathsEnabled(true);
        SetWorkerCount(0);
        SetWalkAheadBytes(0);
        SetEarlyWalkBytes(0);
    }

    // One update cycle of a fresh engine into `output`: the Cat.DB bytes and
    // the engine's and the store's events, which name every verdict (every
    // event with `all`).
    std::pair<std::vector<uint8_t>, std::vector<std::wstring>> Run(const TempDirectory& output, bool all = false) {
        korva::trace::Recorder recorder;
        CCatalogDatabase* handle = nullptr;
        EXPECT_EQ(CreateCatalogDatabase(output.path().wstring().c_str(), &handle), kSuccess);
        if (CCatalogDatabaseSingleton* engine = CCatalogDatabaseSingleton::Instance()) engine->RunUpdateCycle();
        EXPECT_EQ(ReleaseCatalogDatabase(handle), kSuccess);
        std::vector<std::wstring> events;
        for (const auto& event : recorder.events()) {
            bool verdict = event.source == Source::Engine || event.source == Source::Store || event.source == Source::Record;
            if (!verdict && !all) continue;
            std::wstring line = std::to_wstring(static_cast<int>(event.source)) + L" " + std::to_wstring(event.number);
            for (uint64_t number : event.numbers) line += L" " + std::to_wstring(number);
            for (const std::wstring& text : event.texts) line += L" " + text;
            events.push_back(line);
        }
        return {korva::test_support::ReadFile(output.File(L"Cat.DB")), events};
    }

    CExtraRoots extra_;
    CCertificateVerification verification_;
    ICatalogVerification* previous_ = nullptr;
};

TEST_F(FastPathEquivalenceTest, ShortcutsChangeNoByteAndNoVerdict) {
    TempDirectory plainOutput, fastOutput;
    SetWorkerCount(1);
    SetFastPathsEnabled(false);
    auto plain = Run(plainOutput);
    auto plainRerun = Run(plainOutput);
    SetFastPathsEnabled(true);
    auto fast = Run(fastOutput);
    auto fastRerun = Run(fastOutput);

    // The tree is no trivial one: some catalogs are kept, some refused.
    auto kept = std::count_if(plain.second.begin(), plain.second.end(), [](auto& e) { return e.starts_with(L"8 29 "); });
    EXPECT_GE(kept, 8);
    EXPECT_LE(kept, static_cast<long>(std::size(kTree)) - 8);

    EXPECT_TRUE(fast.first == plain.first);
    EXPECT_EQ(fast.second, plain.second);
    EXPECT_TRUE(fastRerun.first == plainRerun.first && fastRerun.first == fast.first);
    EXPECT_EQ(fastRerun.second, plainRerun.second);
}

TEST_F(FastPathEquivalenceTest, ThreadsChangeNoByteAndNoEventOrder) {
    TempDirectory oneOutput;
    SetWorkerCount(1);
    auto one = Run(oneOutput, true);
    auto oneRerun = Run(oneOutput, true);
    ASSERT_FALSE(one.first.empty());
    // Letting a signer's keys go is reported where the store is done with its catalog.
    EXPECT_NE(std::ranges::find(one.second, L"16 16"), one.second.end());
    // With a one-byte window its byte bound, not its count, stops it filling;
    // with one-byte early walks every catalog ahead is one.
    struct Threads {
        uint32_t workers, windowBytes, earlyBytes;
    };
    for (auto [workers, windowBytes, earlyBytes] :
         {Threads{2, 0, 0}, Threads{8, 0, 0}, Threads{2, 1, 0}, Threads{8, 1, 0}, Threads{2, 0, 1}, Threads{8, 1, 1}}) {
        TempDirectory output;
        SetWorkerCount(workers);
        SetWalkAheadBytes(windowBytes);
        SetEarlyWalkBytes(earlyBytes);
        std::string row = std::to_string(workers) + " " + std::to_string(windowBytes) + " " + std::to_string(earlyBytes);
        auto build = Run(output, true);
        EXPECT_TRUE(build.first == one.first) << row;
        EXPECT_EQ(build.second, one.second) << row;
        auto rerun = Run(output, true);
        EXPECT_EQ(rerun.second, oneRerun.second) << row;
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
