#include <gtest/gtest.h>

#include <filesystem>

#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "engine/CatalogDatabaseFile.h"
#include "platform/IoFault.h"
#include "tests/common/TempFiles.h"
#include "tests/engine/StoreTestSupport.h"
#include "tests/cattool/ToolRun.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/Json.h"
#include "tools/cattool/Text.h"

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

std::string JsonString(const std::wstring& text) {
    std::string json = JsonWriter().String(platform::WideToUtf8(text)).Finish();
    return json.substr(0, json.size() - 1);
}

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
        bytes = test_support::ReadBytes(db);
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

TEST_F(CatalogToolTest, DumpsJsonWithTheSameContent) {
    ToolRun run = RunOn(bytes, {L"dump", L"--json"});
    EXPECT_EQ(run.code, 0) << run.err;
    const std::string parts[] = {
             std::string("{\"schema\":1,\"command\":\"dump\""),
             std::string("\"header\":{\"magic\":222,\"version\":8,\"dirty\":0},\"load\":{\"loads\":true}"),
             std::string("\"supersededBytes\":0,\"signerValues\":{\"count\":7,\"capacity\":254,"),
             "{\"index\":0,\"paths\":[" + JsonString(a) + "],\"names\":[{\"stored\":" +
                 JsonString(L"\\SystemRoot\\SYSTEM32\\a.cat") + ",\"host\":" + JsonString(a) +
                 "}],\"fileTime\":\"2014-11-14T11:41:59.3744385Z\",\"fileTimeTicks\":" + std::to_string(0x01D0000000000001ull),
             std::string("\"subject\":{\"index\":0,\"hex\":\"4b6f727661205369676e6572\",\"text\":\"Korva Signer\"}"),
             std::string("\"serial\":{\"index\":2,\"hex\":\"0102\",\"text\":null}"),
             std::string("\"timeValue\":985395600,\"time\":\"2001-03-24T01:00:00Z\",\"hashes\":[\"" + Hex(Bytes(20, 0x11)) + "\",\"" +
                         Hex(Bytes(32, 0x22)) + "\"]"),
             std::string("\"timeValue\":0,\"time\":null,\"hashes\":[\"" + Hex(Bytes(20, 0x33)) + "\"]}]}\n"),
    };
    for (const std::string& part : parts) {
        EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
    }
}

TEST_F(CatalogToolTest, ChecksWithTheEnginesRuleAndExitCode) {
    struct Case {
        const char* what;
        Bytes content;
        int code;
        std::string says;
    };
    auto with = [this](auto change) { Bytes b = bytes; change(b); return b; };
    const Case cases[] = {
        {"built file", bytes, 0, ": loads\n"},
        {"empty file", {}, 0, "starts the database afresh"},
        {"dirty", with([](Bytes& b) { b[8] = 1; }), 1, "header at offset 0: dirty-header"},
        {"tag 0x00 at the end", with([](Bytes& b) { b.push_back(0); }), 1,
         "unknown-tag entry at offset " + std::to_string(bytes.size()) + " (tag 0x00)"},
        {"hash length 33", with([](Bytes& b) { b.insert(b.end(), {0xAD, 0x21}); }), 1, "hash entry at offset"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ToolRun run = RunOn(c.content, {L"check"});
        EXPECT_EQ(run.code, c.code);
        EXPECT_NE(run.out.find(c.says), std::string::npos) << run.out;
    }
    ToolRun json = RunOn(with([](Bytes& b) { b.insert(b.end(), {0xAD, 0x21}); }), {L"check", L"--json"});
    EXPECT_NE(json.out.find("\"load\":{\"loads\":false,\"rule\":\"hash-too-long\",\"description\":\"the hash length is above 32\","
                            "\"kind\":\"hash\",\"offset\":" + std::to_string(bytes.size()) +
                            ",\"tag\":173,\"event\":{\"source\":\"hash\",\"number\":14},\"values\":[33,0]}"),
              std::string::npos) << json.out;
}

TEST_F(CatalogToolTest, LooksHashesUpAsTheDriverWould) {
    ToolRun found = RunOn(bytes, {L"lookup", platform::Utf8ToWide(Hex(Bytes(20, 0x11))), platform::Utf8ToWide(Hex(Bytes(20, 0x33)))});
    EXPECT_EQ(found.code, 0) << found.err;
    // The first catalog that listed a hash keeps it.
    // Named as Cat.DB stores it, with the host path beside it.
    EXPECT_NE(found.out.find(Hex(Bytes(20, 0x11)) + " -> \\SystemRoot\\SYSTEM32\\a.cat (" + platform::WideToUtf8(a) +
                             ") signed by \"Korva Signer\""),
              std::string::npos)
        << found.out;
    EXPECT_NE(found.out.find(Hex(Bytes(20, 0x33)) + " -> Z:\\b.cat signed by \"Other\""), std::string::npos);
    ToolRun missing = RunOn(bytes, {L"lookup", platform::Utf8ToWide(Hex(Bytes(32, 0x11))), L"--json"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.out.find("\"found\":false,\"items\":[{\"input\":\"" + Hex(Bytes(32, 0x11)) +
                               "\",\"kind\":\"hash\",\"problem\":null,\"found\":false,\"digests\":[{\"algorithm\":\"sha256\""),
              std::string::npos) << missing.out;
    Bytes dirty = bytes;
    dirty[8] = 1;
    EXPECT_EQ(RunOn(dirty, {L"lookup", platform::Utf8ToWide(Hex(Bytes(20, 0x11)))}).code, 2);
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
    ToolRun help = Run({L"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("  lookup CATDB (HASH | FILE)..."), std::string::npos) << help.out;
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
            EXPECT_EQ(test_support::ReadBytes(db), run.code == 0 ? bytes : grown) << run.err;
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
