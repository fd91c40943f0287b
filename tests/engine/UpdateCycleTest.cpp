// The engine's update cycle over a real directory tree with a fake verifier:
// load or rebuild, scan order, saving only after a scan, and notifications.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <filesystem>
#include <string>

#include "engine/CatalogDatabase.h"
#include "engine/CatalogStoreFile.h"
#include "engine/CatalogVerificationOverride.h"
#include "platform/TraceRecorder.h"
#include "tests/common/TempFiles.h"
#include "tools/storeharness/StoreHarness.h"

namespace TarnVerifyTrustDriver::test {
namespace {

namespace fs = std::filesystem;
using korva::test_support::ReadFile;
using korva::test_support::TempDirectory;
using korva::test_support::WriteBytes;
using korva::trace::Recorder;
using korva::trace::Source;

// A certificate context that starts, or not, around the fake verifier.
class FakeVerification : public ICatalogVerification {
public:
    uint32_t StartContext() override { return ++starts, startValue; }
    uint32_t SetUpTrustAnchors() override { return ++anchorSetUps, anchorCode; }
    ICatalogVerifier& Verifier() override { return verifier; }
    void ReleaseTrustAnchors() override { ++anchorReleases; }
    void ResetContext() override { ++resets; }

    FakeVerifier verifier;
    uint32_t startValue = kContextStarted;
    uint32_t anchorCode = 0;
    int starts = 0, anchorSetUps = 0, anchorReleases = 0, resets = 0;
};

// One system directory for the process: its lookup is kept once made.
const fs::path& SystemRoot() {
    static TempDirectory root;
    static bool configured = (setenv("KORVA_SYSTEM_DIR", root.path().string().c_str(), 1), true);
    (void)configured;
    return root.path();
}

class UpdateCycleTest : public testing::Test {
protected:
    void SetUp() override {
        fs::remove_all(SystemRoot() / "catroot");
        for (const wchar_t* name : {CCatalogDatabaseSingleton::kFirstCatalogDirectory,
                                    CCatalogDatabaseSingleton::kSecondCatalogDirectory}) {
            fs::create_directories(SystemRoot() / "catroot" / name);  // found whatever its case
        }
        previous_ = SetCatalogVerification(&verification_);
    }
    void TearDown() override { SetCatalogVerification(previous_); }

public:
    static fs::path Directory(bool first) {
        return SystemRoot() / "catroot" /
               (first ? CCatalogDatabaseSingleton::kFirstCatalogDirectory : CCatalogDatabaseSingleton::kSecondCatalogDirectory);
    }
    // A catalog file the fake verifier accepts with one member hash.
    std::wstring AddCatalog(bool first, const wchar_t* name, uint8_t fill) {
        fs::path file = Directory(first) / name;
        WriteBytes(file.wstring(), {fill});
        FakeCatalog catalog;
        catalog.values = {Text("subject"), Text("issuer"), Bytes{fill}, Bytes(20, fill)};
        catalog.members = {Hash(fill, 20)};
        catalog.timeValue = fill;
        // The engine names the file through the platform's case-insensitive lookup.
        std::wstring engineName = EngineDirectory(first) + L"/" + name;
        verification_.verifier.catalogs[engineName] = catalog;
        return engineName;
    }
    static std::wstring EngineDirectory(bool first) {
        CCatalogDatabase* handle = nullptr;
        CreateCatalogDatabase(L"unused", &handle);
        CCatalogDatabaseSingleton* engine = CCatalogDatabaseSingleton::Instance();
        std::wstring directory = first ? engine->firstCatalogDirectory() : engine->secondCatalogDirectory();
        ReleaseCatalogDatabase(handle);
        return directory;
    }
    // One handle, `cycles` update cycles, release; returns the store's content.
    std::string Run(const std::wstring& output, int cycles = 1, void (*between)(UpdateCycleTest&, int) = nullptr) {
        CCatalogDatabase* handle = nullptr;
        // Fails only when the handle cannot be allocated.
        if (CreateCatalogDatabase(output.c_str(), &handle) != kSuccess) return {};
        CCatalogDatabaseSingleton* engine = CCatalogDatabaseSingleton::Instance();
        std::string content;
        if (engine != nullptr) {
            for (int i = 0; i < cycles; ++i) {
                if (i > 0 && between != nullptr) between(*this, i);
                engine->RunUpdateCycle();
            }
            content = Describe(engine->store());
        }
        EXPECT_EQ(ReleaseCatalogDatabase(handle), kSuccess);
        return content;
    }
    std::wstring Database() const { return output_.File(L"Cat.DB"); }

protected:
    TempDirectory output_;
    FakeVerification verification_;
    ICatalogVerification* previous_ = nullptr;
};

std::vector<std::wstring> ScannedPaths(const Recorder& recorder) {
    std::vector<std::wstring> paths;
    for (const auto& event : recorder.events()) {
        if (event.source == Source::Engine && event.number == 59) paths.push_back(event.texts.at(0));
    }
    return paths;
}

TEST_F(UpdateCycleTest, FirstRunScansTheSecondDirectoryFirstAndWritesEverything) {
    std::wstring first = AddCatalog(true, L"a.cat", 1);
    std::wstring second = AddCatalog(false, L"B.CAT", 2);
    std::wstring underscore = AddCatalog(true, L"_c.Cat", 3);
    Recorder recorder;
    std::string built = Run(output_.path().wstring() + L"/");
    EXPECT_EQ(ScannedPaths(recorder), (std::vector<std::wstring>{second, first, underscore}));
    EXPECT_FALSE(recorder.Has(Source::Engine, 58));
    EXPECT_EQ(verification_.starts, 1);
    EXPECT_EQ(verification_.anchorSetUps, 1);
    EXPECT_EQ(verification_.anchorReleases, 1);
    EXPECT_EQ(verification_.resets, 1);

    CatalogStore loaded;
    MemoryStream stream(ReadFile(Database()));
    ASSERT_TRUE(LoadStore(loaded, stream, kDatabaseHeaderSize));
    EXPECT_EQ(Describe(loaded), built);
    EXPECT_EQ(loaded.records().count(), 3u);
}

TEST_F(UpdateCycleTest, LaterCyclesScanOnlyTheDirectoryWhoseNotificationFired) {
    AddCatalog(true, L"a.cat", 1);
    AddCatalog(false, L"b.cat", 2);
    Recorder recorder;
    // Before the second cycle nothing changes; before the third a catalog
    // arrives in the first directory; the fourth finds it re-armed.
    Run(output_.path().wstring(), 4, [](UpdateCycleTest& test, int cycle) {
        if (cycle == 2) test.AddCatalog(true, L"d.cat", 4);
    });
    std::vector<std::wstring> scanned = ScannedPaths(recorder);
    ASSERT_EQ(scanned.size(), 2u + 2u);
    EXPECT_EQ(scanned[2], EngineDirectory(true) + L"/a.cat");
    EXPECT_EQ(scanned[3], EngineDirectory(true) + L"/d.cat");
    EXPECT_EQ(recorder.Count(Source::Engine, 27), 4u);
}

// A catalog written while its directory is being scanned comes after the
// listing: the next cycle must still see that directory as changed.
TEST_F(UpdateCycleTest, ACatalogWrittenDuringAScanIsTakenByTheNextCycle) {
    std::wstring a = AddCatalog(true, L"a.cat", 1);
    verification_.verifier.onWalk = [this, a](const wchar_t* path) {
        if (path == a && verification_.verifier.walks == 2) AddCatalog(true, L"0.cat", 5);
    };
    Recorder recorder;
    // Before the second cycle a.cat changes; walking it writes 0.cat.
    std::string content = Run(output_.path().wstring(), 3, [](UpdateCycleTest&, int cycle) {
        fs::path changed = Directory(true) / "a.cat";
        if (cycle == 1) fs::last_write_time(changed, fs::last_write_time(changed) + std::chrono::hours(1));
    });
    std::vector<std::wstring> scanned = ScannedPaths(recorder);
    ASSERT_EQ(scanned.size(), 1u + 1u + 2u);
    EXPECT_EQ(scanned[2], EngineDirectory(true) + L"/0.cat");
    EXPECT_EQ(recorder.Count(Source::Store, 29), 3u);
    EXPECT_NE(content.find("record 1 "), std::string::npos);
}

TEST_F(UpdateCycleTest, ABrokenFileIsRebuiltLikeAFreshOne) {
    AddCatalog(true, L"a.cat", 1);
    AddCatalog(false, L"b.cat", 2);
    Run(output_.path().wstring());
    Bytes fresh = ReadFile(Database());
    struct Case { const char* what; size_t offset; uint8_t value; bool truncate; };
    // Which rule refuses a file is the load tables'; a refused header and a
    // refused body both end in a rebuild.
    const Case cases[] = {{"dirty flag", 8, 1, false}, {"truncated body", 0, 0, true}};
    for (const Case& c : cases) {
        Bytes broken = fresh;
        if (c.truncate) broken.resize(broken.size() - 3); else broken[c.offset] = c.value;
        WriteBytes(Database(), broken);
        Recorder recorder;
        Run(output_.path().wstring());
        EXPECT_TRUE(recorder.Has(Source::Engine, 28)) << c.what;
        EXPECT_EQ(ReadFile(Database()), fresh) << c.what;
    }
}

// An output that cannot be written keeps the store in memory: a missing
// directory is not made, and a read-only Cat.DB is left alone whoever runs
// the engine, root included.
TEST_F(UpdateCycleTest, AnUnwritableOutputKeepsTheStoreInMemory) {
    AddCatalog(true, L"a.cat", 1);
    Recorder recorder;
    std::wstring missing = output_.File(L"absent");
    EXPECT_NE(Run(missing), "");
    for (uint32_t event : {28u, 29u, 30u, 31u}) EXPECT_TRUE(recorder.Has(Source::Engine, event)) << event;
    EXPECT_FALSE(fs::exists(missing));

    Run(output_.path().wstring());
    Bytes built = ReadFile(Database());
    fs::permissions(Database(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    AddCatalog(true, L"b.cat", 2);
    recorder.Clear();
    EXPECT_NE(Run(output_.path().wstring()), "");
    EXPECT_TRUE(recorder.Has(Source::Engine, 41));
    EXPECT_EQ(ReadFile(Database()), built);
    fs::permissions(Database(), fs::perms::owner_write, fs::perm_options::add);
}

// A name with a backslash would read back from Cat.DB with a separator in
// its place: it is skipped, so reruns find nothing new.
TEST_F(UpdateCycleTest, ANameWithABackslashIsSkipped) {
    AddCatalog(true, L"a.cat", 1);
    AddCatalog(true, L"b\\c.cat", 2);
    Recorder recorder;
    Run(output_.path().wstring());
    EXPECT_EQ(ScannedPaths(recorder), (std::vector<std::wstring>{EngineDirectory(true) + L"/a.cat"}));
    EXPECT_TRUE(recorder.Has(Source::Engine, 63));
    Bytes built = ReadFile(Database());
    Run(output_.path().wstring());
    EXPECT_EQ(ReadFile(Database()), built);
}

TEST_F(UpdateCycleTest, WithoutAContextNothingIsScannedAndWithoutAnchorsTheScanStillRuns) {
    AddCatalog(true, L"a.cat", 1);
    verification_.startValue = 4;
    Recorder recorder;
    EXPECT_EQ(Run(output_.path().wstring()), "");
    EXPECT_TRUE(recorder.Has(Source::Engine, 32));
    EXPECT_TRUE(ScannedPaths(recorder).empty());
    EXPECT_EQ(verification_.resets, 1);

    verification_.startValue = ICatalogVerification::kContextStarted;
    verification_.anchorCode = 1792;
    recorder.Clear();
    Run(output_.path().wstring());
    // The first directory tries again, at information level.
    EXPECT_TRUE(recorder.Has(Source::Engine, 33));
    EXPECT_TRUE(recorder.Has(Source::Engine, 34));
    EXPECT_EQ(ScannedPaths(recorder).size(), 1u);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
