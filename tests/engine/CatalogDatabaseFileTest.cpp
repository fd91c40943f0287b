#include "engine/CatalogDatabaseFile.h"

#include <gtest/gtest.h>

#include "platform/Files.h"
#include "catalog/FastPathsOverride.h"
#include "platform/IoFault.h"
#include "platform/Trace.h"
#include "platform/TraceRecorder.h"
#include "tests/common/AllocationFaults.h"
#include "tests/common/TempFiles.h"
#include "tools/storeharness/StoreHarness.h"

namespace TarnVerifyTrustDriver::test {
namespace {

namespace platform = korva::platform;
using korva::test_support::ReadFile;
using korva::test_support::WriteBytes;
using korva::trace::Recorder;
using korva::trace::Source;

class CatalogDatabaseFileTest : public testing::Test {
protected:
    CatalogDatabaseFileTest() {
        SystemDirectory();  // names are saved in kernel form, which needs it
        verifier_.catalogs[L"a.cat"] = {{Text("s"), Text("i"), Bytes{1}, Bytes{2}}, {Hash(1, 20), Hash(2, 32)}};
        verifier_.catalogs[L"b.cat"] = {{Text("t"), Text("i"), Bytes{3}, Bytes{4}}, {Hash(3, 20)}};
    }

    std::wstring directory() const { return directory_.path().wstring(); }
    std::wstring path() const { return directory_.File(L"Cat.DB"); }

    HResult Load(CatalogStore& store) {
        CatalogDatabaseFile file(directory());
        return file.LoadDatabaseFile(store);
    }
    // A first save of a.cat, then b.cat and a changed a.cat added to that
    // store and saved, with `fault` armed during the second save.
    HResult SaveTwice(const platform::IoFault& fault, std::string* first) {
        WriteBytes(path(), {});
        CatalogDatabaseFile file(directory());
        CatalogStore store;
        if (file.LoadDatabaseFile(store) != kSuccess ||
            !store.AddCatalog(L"a.cat", {kFileAttributeArchive, {1, 0}}, verifier_) ||
            file.SaveDatabaseFile(store) != kSuccess) {
            return kGeneralFailure;
        }
        if (first != nullptr) *first = Describe(store);
        bool added = store.AddCatalog(L"b.cat", {kFileAttributeArchive, {1, 0}}, verifier_) &&
                     store.AddCatalog(L"a.cat", {kFileAttributeArchive, {2, 0}}, verifier_);
        platform::ArmIoFault(fault);
        HResult saved = added ? file.SaveDatabaseFile(store) : kGeneralFailure;
        platform::DisarmIoFault();
        return saved;
    }

    korva::test_support::TempDirectory directory_;
    FakeVerifier verifier_;
};

TEST_F(CatalogDatabaseFileTest, LoadChecksTheHeader) {
    struct Case { const char* what; Bytes bytes; HResult result; uint32_t event; };
    Bytes dirty = kHeader;
    dirty[8] = 1;
    Bytes version = kHeader;
    version[4] = 7;
    std::vector<Case> cases = {
        {"empty file", {}, kSuccess, 47},
        {"not ours", {0xDF, 0, 0, 0, 8}, kBadDatabaseFile, 49},
        {"header only", kHeader, kBadDatabaseFile, 52},
        {"dirty", dirty, kBadDatabaseFile, 51},
        {"version 7", version, kBadDatabaseFile, 50},
    };
    for (size_t size = 1; size < 12; ++size) {
        cases.push_back({"short header", Bytes(kHeader.begin(), kHeader.begin() + static_cast<std::ptrdiff_t>(size)),
                         kBadDatabaseFile, size <= 4 ? 50u : 52u});
    }
    for (const Case& c : cases) {
        WriteBytes(path(), c.bytes);
        Recorder recorder;
        CatalogStore store;
        EXPECT_EQ(Load(store), c.result) << c.what << " " << c.bytes.size();
        EXPECT_TRUE(recorder.Has(Source::Engine, c.event)) << c.what << " " << c.bytes.size();
    }
}

TEST_F(CatalogDatabaseFileTest, SavesBetweenTwoHeadersAndLoadsBack) {
    {
        CatalogDatabaseFile file(directory());
        CatalogStore empty;
        ASSERT_EQ(file.SaveDatabaseFile(empty), kGeneralFailure);  // not open yet
        ASSERT_EQ(file.LoadDatabaseFile(empty), kSuccess);
        ASSERT_EQ(file.SaveDatabaseFile(empty), kSuccess);
    }
    EXPECT_EQ(ReadFile(path()), Bytes{});  // a header alone would not load
    std::string first;
    ASSERT_EQ(SaveTwice({}, &first), kSuccess);
    CatalogStore loaded;
    ASSERT_EQ(Load(loaded), kSuccess);
    EXPECT_EQ(loaded.records().count(), 2u);
    EXPECT_EQ(loaded.records()[0].fileTime.low, 2u);
    EXPECT_EQ(ReadFile(path())[8], 0);
}

// After a save that failed anywhere, the file either loads as the last
// completed save or is refused, so that the engine rebuilds it: with the
// save's batched writes and with one write per field.
TEST_F(CatalogDatabaseFileTest, FailedWritesNeverLeaveAFileWithOtherContent) {
    for (bool batched : {true, false}) {
        bool previous = SetFastPathsEnabled(batched);
        for (auto kind : {platform::IoFault::Kind::FailWrite, platform::IoFault::Kind::ShortWrite}) {
            std::string first;
            ASSERT_EQ(SaveTwice({kind, 0}, &first), kSuccess);
            uint32_t writes = platform::IoFaultCallsSeen();
            CatalogStore complete;
            ASSERT_EQ(Load(complete), kSuccess);
            // Two header writes and the entries between them.
            ASSERT_GT(writes, batched ? 2u : 10u);
            for (uint32_t ordinal = 1; ordinal <= writes; ++ordinal) {
                EXPECT_EQ(SaveTwice({kind, ordinal}, nullptr), kGeneralFailure) << ordinal;
                CatalogStore loaded;
                HResult result = Load(loaded);
                // A final header cut short by one byte still lands whole: the
                // byte it leaves is already 0, and the save's entries are all in.
                std::string text = Describe(loaded);
                EXPECT_TRUE(result != kSuccess || text == first || text == Describe(complete)) << ordinal;
                EXPECT_TRUE(ordinal == 1 || ordinal == writes || result == kBadDatabaseFile) << ordinal;
            }
        }
        SetFastPathsEnabled(previous);
    }
}

TEST_F(CatalogDatabaseFileTest, AllocationFailuresInLoadAndSaveLeakNothing) {
    ASSERT_EQ(SaveTwice({}, nullptr), kSuccess);
    const Bytes saved = ReadFile(path());
    CatalogStore reference;
    ASSERT_EQ(Load(reference), kSuccess);
    const std::string expected = Describe(reference);
    korva::test_support::SweepAllocationFailures([&](uint64_t) {
        CatalogStore store;
        HResult result = Load(store);
        EXPECT_TRUE(result == kBadDatabaseFile || Describe(store) == expected);
    });
    korva::test_support::SweepAllocationFailures([&](uint64_t) {
        WriteBytes(path(), saved);
        {
            CatalogStore store;
            CatalogDatabaseFile file(directory());
            if (file.LoadDatabaseFile(store) == kSuccess &&
                store.AddCatalog(L"c.cat", {kFileAttributeArchive, {1, 0}}, verifier_)) {
                file.SaveDatabaseFile(store);
            }
        }
        CatalogStore loaded;
        if (Load(loaded) == kSuccess) {
            std::string text = Describe(loaded);
            EXPECT_TRUE(text == expected || loaded.records().count() == 3) << text;
        }
    });
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
