// Whole update cycles over real and generated catalogs with the real
// verifier, with each allocation, read and write failing in turn. After every
// failure nothing leaks, the file left behind loads with no entry a complete
// build lacks (or is refused), and the next clean run ends with exactly the
// complete build's content.
//
// The default tree is small and its points few (every one inside load and
// save, an even spread of the rest); KORVA_SWEEP=full takes every real
// catalog, 2,000 evenly spread allocation points per run and every read and
// write but those of a fresh run's save, of which 300 spread out.
// KORVA_SWEEP_POINTS sets the allocation spread of either.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "catalog/CertResult.h"
#include "catalog/ExtraRoots.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "engine/WorkerCountOverride.h"
#include "platform/IoFault.h"
#include "tests/common/AllocationFaults.h"
#include "tests/common/TempFiles.h"
#include "tools/storeharness/StoreHarness.h"
#include "tools/catgen/Catalog.h"

namespace TarnVerifyTrustDriver::test {
namespace {

namespace catgen = korva::catgen;
namespace fs = std::filesystem;
using korva::platform::IoFault;
using korva::test_support::AllocationFaults;
using korva::test_support::ReadFile;
using korva::test_support::TempDirectory;
using korva::test_support::WriteBytes;

// Under the sanitizers a run costs several times as much: fewer spread points.
#ifdef KORVA_SANITIZED
constexpr uint64_t kDefaultSpread = 8;
#else
constexpr uint64_t kDefaultSpread = 30;
#endif

bool FullSweep() {
    const char* mode = std::getenv("KORVA_SWEEP");
    return mode != nullptr && std::string(mode) == "full";
}

// The spread of allocation points: KORVA_SWEEP_POINTS, or 2,000 in a full
// sweep and a few otherwise.
uint64_t Spread() {
    const char* points = std::getenv("KORVA_SWEEP_POINTS");
    if (points != nullptr) return std::strtoull(points, nullptr, 10);
    return FullSweep() ? 2000 : kDefaultSpread;
}

// The real verification, noting how many allocations a run had made when
// its load ended (the context starts right after), when its last catalog
// walk ended and when its save ended (the anchors go right after).
class PhaseMarks : public CCertificateVerification {
public:
    explicit PhaseMarks(const AllocationFaults& faults) : faults_(faults) {}
    using CCertificateVerification::ParseCatalogFile;

    uint32_t StartContext() override {
        loadEnd = faults_.attempts();
        return CCertificateVerification::StartContext();
    }
    uint32_t ParseCatalogFile(const wchar_t* path, ICatalogEvidence& callback, CCallbacks* callbacks) override {
        uint32_t result = CCertificateVerification::ParseCatalogFile(path, callback, callbacks);
        lastWalkEnd = faults_.attempts();
        return result;
    }
    void ReleaseTrustAnchors() override {
        saveEnd = faults_.attempts();
        CCertificateVerification::ReleaseTrustAnchors();
    }

    uint64_t loadEnd = 0, lastWalkEnd = 0, saveEnd = 0;

private:
    const AllocationFaults& faults_;
};

// Catalogs that exercise every verdict of the small tree: WHQL with an RFC
// 3161 token, a PKCS #9 countersignature, a SHA-256 signer, unsigned and
// self-signed.
const char* const kSmallTree[] = {"zerotier_zttap300_x86.cat", "missionplanner_stmcdc.cat",
                                  "usbipd_VBoxUSB_20220814.cat", "zerotier_zttap100_x86.cat",
                                  "espressif_esp-prog.cat"};

std::vector<fs::path> RealCatalogs() {
    std::vector<fs::path> paths;
    const fs::path directory = fs::path(KORVA_SHARED_DIR) / "realcats";
    if (FullSweep()) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(directory, error)) {
            if (entry.path().extension() == ".cat") paths.push_back(entry.path());
        }
        std::sort(paths.begin(), paths.end());
    } else {
        for (const char* name : kSmallTree) {
            if (fs::exists(directory / name)) paths.push_back(directory / name);
        }
    }
    return paths;
}

class WholeRunSweepTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        catgen::SetKeyBits(1024);
        setenv("KORVA_SYSTEM_DIR", System().path().string().c_str(), 1);
    }
    static TempDirectory& System() {
        static TempDirectory root;
        return root;
    }
    static fs::path CatalogDirectory(bool first) {
        return System().path() / "catroot" /
               (first ? CCatalogDatabaseSingleton::kFirstCatalogDirectory : CCatalogDatabaseSingleton::kSecondCatalogDirectory);
    }

    void SetUp() override {
        std::vector<fs::path> real = RealCatalogs();
        if (real.empty()) {
            if (std::getenv("CI") != nullptr && std::string(std::getenv("CI")) == "true") {
                FAIL() << "real catalogs not found (CI=true needs them) in " KORVA_SHARED_DIR "/realcats";
            }
            GTEST_SKIP() << "real catalogs not found in " KORVA_SHARED_DIR "/realcats";
        }
        fs::remove_all(System().path() / "catroot");
        for (bool first : {true, false}) fs::create_directories(CatalogDirectory(first));
        // Alternately into both directories; one catalog twice, so that a
        // member hash is listed by two catalogs.
        for (size_t i = 0; i < real.size(); ++i) fs::copy_file(real[i], CatalogDirectory(i % 2 == 0) / real[i].filename());
        fs::copy_file(real[0], CatalogDirectory(false) / "copy.cat");
        Generate();
        ASSERT_EQ(extra_.Add(1, 9001, catgen::CertificateDer(root_.cert)), kCertSuccess);
        verification_.TrustExtraRoots(&extra_);
        kept_ = faults_.liveBlocks();  // the extra root's copy, kept for the test
        previous_ = SetCatalogVerification(&verification_);
        // The N-th allocation and the phase marks name one point of a run only
        // when a single thread makes them all.
        SetWorkerCount(1);
    }
    void TearDown() override {
        SetCatalogVerification(previous_);
        SetWorkerCount(0);
    }

    // Generated catalogs under a test root: accepted ones with SHA-1 and
    // SHA-256 members and both kinds of time-stamp, and a refused one.
    void Generate() {
        struct Case {
            const char* name;
            catgen::Digest digest;
            catgen::Timestamp timestamp;
            catgen::Malformation malformation;
        };
        const Case cases[] = {
            {"gen-sha1.cat", catgen::Digest::kSha1, catgen::Timestamp::kPkcs9, catgen::Malformation::kNone},
            {"gen-sha256.cat", catgen::Digest::kSha256, catgen::Timestamp::kRfc3161, catgen::Malformation::kNone},
            {"gen-bad.cat", catgen::Digest::kSha256, catgen::Timestamp::kNone, catgen::Malformation::kBadSignature},
        };
        for (const Case& c : cases) {
            catgen::CatalogOptions options;
            options.digest = c.digest;
            options.timestamp = c.timestamp;
            options.malformation = c.malformation;
            options.trustList.members = catgen::SyntheticMembers(
                4, c.digest == catgen::Digest::kSha1 ? catgen::MemberHash::kSha1 : catgen::MemberHash::kSha256);
            catgen::ChainOptions chain, stamper;
            chain.digest = c.digest;
            stamper.role = catgen::ChainRole::kTimeStamping;
            catgen::Chain signer = catgen::SignerChainFor(root_, chain, c.malformation);
            catgen::Chain timeStamper = catgen::TimeStamperChainFor(root_, stamper, c.malformation);
            ASSERT_TRUE(catgen::WriteCatalog(CatalogDirectory(&c != &cases[1]) / c.name,
                                             catgen::BuildCatalog(options, signer, &timeStamper).der));
        }
    }

    // One handle, one update cycle, release.
    void Run() {
        CCatalogDatabase* handle = nullptr;
        if (CreateCatalogDatabase(output_.path().wstring().c_str(), &handle) != kSuccess) return;
        if (CCatalogDatabaseSingleton* engine = CCatalogDatabaseSingleton::Instance()) engine->RunUpdateCycle();
        EXPECT_EQ(ReleaseCatalogDatabase(handle), kSuccess);
    }
    std::wstring Database() const { return output_.File(L"Cat.DB"); }
    // The file's content, with the owner of a hash that both the copy and
    // its original list written as "twin": which of them records it first
    // depends on which one a failure let through first, and either vouches
    // for it.
    std::string Loaded() const {
        std::string content = fs::exists(Database()) ? LoadedContent(ReadFile(Database())) : std::string();
        const std::string twins[] = {Utf16Hex("/copy.cat"), Utf16Hex("/" + RealCatalogs().front().filename().string())};
        std::vector<std::string> lines;
        std::istringstream in(content);
        for (std::string line; std::getline(in, line);) {
            size_t space = line.find(' ');
            bool hashLine = space != std::string::npos && line.find(' ', space + 1) == std::string::npos;
            if (hashLine && (line.ends_with(twins[0]) || line.ends_with(twins[1]))) line = line.substr(0, space) + " twin";
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        return text;
    }
    // A record's line is "name time flags signing-time values..."; a hash's
    // "hash owner".
    static std::string WithoutFileTime(const std::string& line) {
        size_t first = line.find(' ');
        size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        return second == std::string::npos ? line : line.substr(0, first) + line.substr(second);
    }

    // The file of a run without the `late` catalogs, and the complete
    // content of the next run, which takes them in.
    std::pair<Bytes, std::string> PartialThenComplete(std::initializer_list<fs::path> late) {
        const fs::path aside = System().path() / "aside";
        fs::create_directories(aside);
        for (const fs::path& file : late) fs::rename(file, aside / file.filename());
        fs::remove(Database());
        Run();  // marks the roots' self-signatures checked, as in any later run
        const Bytes partial = ReadFile(Database());
        for (const fs::path& file : late) fs::rename(aside / file.filename(), file);
        Run();
        return {partial, Loaded()};
    }

    // Sets the file up as `start` (absent when empty), runs with `fault`
    // armed (before `arm`), then checks what it left and that a clean run
    // completes it. The fault's own checks happen in `disarm`.
    template <typename Arm, typename Disarm>
    void FaultedRun(const Bytes& start, const std::string& complete, Arm arm, Disarm disarm, const std::string& what) {
        if (start.empty()) {
            fs::remove(Database());
        } else {
            WriteBytes(Database(), start);
        }
        arm();
        Run();
        disarm();
        // Entries the complete build lacks would be a file that loads with
        // other content; fewer entries are a partial build the next run ends.
        // A catalog taken in only in part keeps a stale file time by design,
        // so that the next run walks it again: times are left out here.
        std::set<std::string> expected;
        std::istringstream lines(complete);
        for (std::string line; std::getline(lines, line);) expected.insert(WithoutFileTime(line));
        std::istringstream left(Loaded());
        for (std::string line; std::getline(left, line);) {
            EXPECT_TRUE(expected.count(WithoutFileTime(line))) << what << ": the file holds " << line.substr(0, 160);
        }
        Run();
        EXPECT_TRUE(Loaded() == complete) << what << ": the next run did not complete the file";
    }

    AllocationFaults faults_;
    PhaseMarks verification_{faults_};
    catgen::Identity root_ = catgen::TestRoot("sweep-root", "Korva Sweep Test Root");
    CExtraRoots extra_;
    TempDirectory output_;
    ICatalogVerification* previous_ = nullptr;
    size_t kept_ = 0;
};

// The ordinals a sweep takes: every one in the given ranges, and an even
// spread over all of them to make up `spread` more.
std::vector<uint64_t> SweepPoints(uint64_t total, std::initializer_list<std::pair<uint64_t, uint64_t>> every,
                                  uint64_t spread) {
    std::set<uint64_t> points;
    for (auto [from, to] : every) {
        for (uint64_t ordinal = std::max<uint64_t>(from, 1); ordinal <= std::min(to, total); ++ordinal) points.insert(ordinal);
    }
    for (uint64_t i = 0; i < spread && total > 0; ++i) points.insert(1 + i * total / spread);
    return {points.begin(), points.end()};
}

// A fresh run (no Cat.DB) and a run that loads a complete file for all but
// two catalogs and adds those: every allocation of load and save fails in
// turn, and an even spread of the rest.
TEST_F(WholeRunSweepTest, EachAllocationOfAWholeRunMayFail) {
    const auto [partial, complete] =
        PartialThenComplete({CatalogDirectory(true) / "gen-sha1.cat", CatalogDirectory(false) / "copy.cat"});
    ASSERT_NE(complete, "");
    WriteBytes(Database(), partial);
    ASSERT_FALSE(Loaded() == complete);

    struct Scenario {
        const char* what;
        Bytes start;
        uint64_t spread;
    };
    const Scenario scenarios[] = {
        {"fresh", {}, Spread()},
        {"incremental", partial, Spread()},
    };
    for (const Scenario& s : scenarios) {
        if (s.start.empty()) fs::remove(Database()); else WriteBytes(Database(), s.start);
        faults_.FailAt(0);
        Run();
        const uint64_t total = faults_.attempts();
        const struct { uint64_t loadEnd, lastWalkEnd, saveEnd; } marks = {
            verification_.loadEnd, verification_.lastWalkEnd, verification_.saveEnd};
        ASSERT_EQ(faults_.liveBlocks(), kept_) << s.what;
        ASSERT_TRUE(Loaded() == complete) << s.what;
        ASSERT_LT(marks.loadEnd, marks.lastWalkEnd) << s.what;
        std::vector<uint64_t> points =
            SweepPoints(total, {{1, marks.loadEnd}, {marks.lastWalkEnd, marks.saveEnd}}, s.spread);
        std::cout << "[ sweep    ] " << s.what << ": " << total << " allocations, load ends at " << marks.loadEnd
                  << ", save spans " << marks.lastWalkEnd << "-" << marks.saveEnd << ", " << points.size()
                  << " points failed\n";
        for (uint64_t ordinal : points) {
            const std::string what = std::string(s.what) + " allocation " + std::to_string(ordinal);
            FaultedRun(s.start, complete, [&] { faults_.FailAt(ordinal); },
                       [&] {
                           EXPECT_EQ(faults_.failures(), 1u) << what << " was not reached";
                           faults_.FailAt(0);
                           EXPECT_EQ(faults_.liveBlocks(), kept_) << what << " leaks";
                       },
                       what);
        }
    }
}

// Each read and each write of the same two runs fails, or transfers one
// byte less, in turn.
TEST_F(WholeRunSweepTest, EachReadWriteAndSeekOfAWholeRunMayFail) {
    const auto [partial, complete] = PartialThenComplete({CatalogDirectory(true) / "gen-sha1.cat"});
    ASSERT_NE(complete, "");

    const IoFault::Kind kinds[] = {IoFault::Kind::FailRead, IoFault::Kind::ShortRead, IoFault::Kind::FailWrite,
                                   IoFault::Kind::ShortWrite, IoFault::Kind::FailSeek};
    for (const Bytes* start : {&partial, static_cast<const Bytes*>(nullptr)}) {
        const Bytes none;
        const Bytes& from = start != nullptr ? *start : none;
        for (IoFault::Kind kind : kinds) {
            if (from.empty()) fs::remove(Database()); else WriteBytes(Database(), from);
            korva::platform::ArmIoFault({kind, 0});
            Run();
            const uint32_t calls = korva::platform::IoFaultCallsSeen();
            korva::platform::DisarmIoFault();
            ASSERT_GT(calls, 0u);
            std::cout << "[ sweep    ] " << (from.empty() ? "fresh" : "incremental") << " kind "
                      << static_cast<int>(kind) << ": " << calls << " calls\n";
            // Those of a fresh run's save are many and alike: a spread of them
            // and the last few, where the closing header goes.
            const uint64_t spread = calls <= 40 ? calls : FullSweep() ? 300 : kDefaultSpread / 2;
            for (uint64_t ordinal : SweepPoints(calls, {{calls - 2, calls}}, spread)) {
                const std::string what = std::string(from.empty() ? "fresh" : "incremental") + " kind " +
                                         std::to_string(static_cast<int>(kind)) + " call " + std::to_string(ordinal);
                FaultedRun(from, complete, [&] { korva::platform::ArmIoFault({kind, static_cast<uint32_t>(ordinal)}); },
                           [&] {
                               korva::platform::DisarmIoFault();
                               EXPECT_EQ(faults_.liveBlocks(), kept_) << what << " leaks";
                           },
                           what);
            }
        }
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
