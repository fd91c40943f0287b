#include <gtest/gtest.h>

#include <filesystem>

#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "engine/CatalogDatabaseFile.h"
#include "platform/IoFault.h"
#include "tests/common/TempFiles.h"
#include "tools/storeharness/StoreHarness.h"
#include "tests/cattool/ToolRun.h"
#include "tools/cattool/Commands.h"

namespace korva::cattool::test {
namespace {

namespace tvt = TarnVerifyTrustDriver;

// Adds `catalogs` (path, catalog, last-write time) in order and saves; the
// directory's Cat.DB then holds them.
void BuildDatabase(const test_support::TempDirectory& directory,
                          const std::vector<std::pair<std::wstring, tvt::test::FakeCatalog>>& catalogs) {
    tvt::test::SystemDirectory();
    tvt::test::FakeVerifier verifier;
    tvt::CatalogStore store;
    uint32_t time = 1;
    for (const auto& [path, catalog] : catalogs) {
        verifier.catalogs[path] = catalog;
        ASSERT_TRUE(store.AddCatalog(path, {tvt::kFileAttributeArchive, {time++, 0x01D00000}}, verifier));
    }
    tvt::CatalogDatabaseFile file(directory.path().wstring());
    ASSERT_FALSE(tvt::Failed(file.LoadDatabaseFile(store)));
    ASSERT_FALSE(tvt::Failed(file.SaveDatabaseFile(store)));
}

using tvt::test::Bytes;
using tvt::test::Text;

class CatalogToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = tvt::test::SystemDirectory() + L"a.cat";
        tvt::test::FakeCatalog first{{Text("Korva Signer"), Text("Korva Root"), Bytes{0x01, 0x02}, Bytes(20, 0xAB)},
                                     {tvt::test::Hash(0x11, 20), tvt::test::Hash(0x22, 32)}, 0x31007, 985395600};
        tvt::test::FakeCatalog second{{Text("Other"), Text("Korva Root"), Bytes{0x03}, Bytes(20, 0xCD)},
                                      {tvt::test::Hash(0x11, 20), tvt::test::Hash(0x33, 20)}, 0x11000, 0};
        BuildDatabase(directory, {{a, first}, {L"Z:\\b.cat", second}});
        db = directory.File(L"Cat.DB");
        bytes = test_support::ReadFile(db);
    }
    ToolRun Run(std::vector<std::wstring> arguments) { return RunToolWith(std::move(arguments)); }
    ToolRun RunOn(const Bytes& content, std::vector<std::wstring> arguments) {
        test_support::WriteBytes(db, content);
        arguments.insert(arguments.begin() + 1, db);
        return Run(arguments);
    }

    test_support::TempDirectory directory;
    std::wstring a;
    std::wstring db;
    Bytes bytes;
};

// dump, check and lookup run end to end (tests/e2e/cattool/cases); the empty
// file is the one load outcome those tables have no Cat.DB for.
TEST_F(CatalogToolTest, CheckLoadsAnEmptyFile) {
    ToolRun run = RunOn({}, {L"check"});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find("starts the database afresh"), std::string::npos) << run.out;
}

TEST_F(CatalogToolTest, RefusesWhatItCannotDoWithUsage) {
    const std::vector<std::wstring> cases[] = {
        {}, {L"build"}, {L"build", L"--trust-test-root"}, {L"explain", directory.File(L"absent.cat")}, {L"dump"}, {L"dump", L"a", L"b"}, {L"lookup", L"Cat.DB"}, {L"check", L"--xml", L"Cat.DB"},
        {L"check", directory.File(L"absent.DB")},
    };
    for (const std::vector<std::wstring>& arguments : cases) {
        ToolRun run = Run(arguments);
        EXPECT_EQ(run.code, 2);
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(run.err.empty());
    }
    // The host's words beside the Windows error number.
    ToolRun absent = Run({L"check", directory.File(L"absent.DB")});
    EXPECT_NE(absent.err.find(": cannot read: " + platform::ErrorText(platform::kErrorFileNotFound) + " (error 2)"),
              std::string::npos) << absent.err;
}

// compact puts a new file in place only once it is complete and loads: a
// write that fails or comes up short at any call leaves the old file as it
// was, and nothing beside it. The compacted file is what the engine's own
// save of the same content writes.
TEST_F(CatalogToolTest, CompactReplacesTheFileOnlyWithACompleteOne) {
    constexpr size_t kRecordEntrySize = 29;
    Bytes grown = bytes;  // record 0 written once more: its first entry is superseded
    grown.insert(grown.end(), bytes.begin() + tvt::kDatabaseHeaderSize,
                 bytes.begin() + tvt::kDatabaseHeaderSize + kRecordEntrySize);
    for (auto kind : {platform::IoFault::Kind::FailWrite, platform::IoFault::Kind::ShortWrite}) {
        for (uint32_t ordinal = 1;; ++ordinal) {
            SCOPED_TRACE(ordinal);
            test_support::WriteBytes(db, grown);
            platform::ArmIoFault({kind, ordinal});
            ToolRun run = Run({L"compact", db});
            const bool hit = platform::IoFaultCallsSeen() >= ordinal;
            platform::DisarmIoFault();
            EXPECT_EQ(test_support::ReadFile(db), run.code == 0 ? bytes : grown) << run.err;
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(db + L".compact")));
            if (!hit) {
                EXPECT_EQ(run.code, 0);
                EXPECT_NE(run.out.find(std::to_string(kRecordEntrySize) + " bytes saved"), std::string::npos) << run.out;
                break;
            }
            if (kind == platform::IoFault::Kind::FailWrite) {
                EXPECT_EQ(run.code, 2);
            }
        }
    }
}

}  // namespace
}  // namespace korva::cattool::test
