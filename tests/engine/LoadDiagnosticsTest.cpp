#include "engine/LoadDiagnostics.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/CatalogDatabaseFile.h"
#include "tests/common/Bytes.h"
#include "tools/storeharness/StoreHarness.h"

namespace TarnVerifyTrustDriver::test {
namespace {

using korva::test::FromHex;

// Header, one record (values 0-3) at 12, its name "a" at 41, one hash at 50,
// four signer values from 76; validation reports the end of the log.
const std::string kHeader = "DE000000 08000000 00000000";
const std::string kRecord = "BE 00000000 00000000 00000000 01 00 02 03 00000000 0000000000000000";
const std::string kName = "DE 0200 6100 00000000";
const std::string kHash = "AD 14 " + std::string(40, '1') + " 00000000";
const std::string kValues = "C0 01000000 61 C0 01000000 62 C0 01000000 63 C0 01000000 64";

struct Case {
    const char* what;
    std::string hex;
    LoadRule rule;
    EntryKind kind;
    uint64_t offset;
};

TEST(LoadDiagnostics, NamesTheEntryAndTheRuleOfEveryRefusal) {
    const Case cases[] = {
        {"wrong magic", "DF000000 08000000 00000000" + kRecord, LoadRule::BadMagic, EntryKind::Header, 0},
        {"short header", "DE00", LoadRule::BadVersion, EntryKind::Header, 0},
        {"wrong version", "DE000000 07000000 00000000", LoadRule::BadVersion, EntryKind::Header, 0},
        {"dirty", "DE000000 08000000 01000000" + kRecord + kName + kHash + kValues, LoadRule::DirtyHeader, EntryKind::Header, 0},
        {"record cut short", kHeader + "BE", LoadRule::RecordTruncated, EntryKind::Record, 12},
        {"record index unset", kHeader + "BE 0000000000000000 00000000 00000000 00000000 FFFFFFFF00000000",
         LoadRule::RecordIndexOutOfRange, EntryKind::Record, 12},
        {"name of 0 bytes", kHeader + kRecord + "DE 0000", LoadRule::NameUnreadable, EntryKind::Name, 41},
        {"name index unset", kHeader + kRecord + "DE 0200 6100 FFFFFFFF", LoadRule::NameIndexInvalid, EntryKind::Name, 41},
        {"hash of 33", kHeader + kRecord + kName + "AD 21", LoadRule::HashTooLong, EntryKind::Hash, 50},
        {"hash index unset", kHeader + kRecord + kName + "AD 00 FFFFFFFF", LoadRule::HashIndexInvalid, EntryKind::Hash, 50},
        {"value past the end", kHeader + kRecord + "C0 05000000 61", LoadRule::SignerValueTruncated, EntryKind::SignerValue, 41},
        {"tag 0x00", kHeader + kRecord + "00", LoadRule::UnknownTag, EntryKind::UnknownTag, 41},
        {"header only", kHeader, LoadRule::NoSignerValue, EntryKind::Validation, 12},
        {"name beyond the records", kHeader + "DE 0200 6100 05000000" + kValues, LoadRule::NameIndexBeyondRecords,
         EntryKind::Validation, 45},
        {"hash beyond the records", kHeader + kRecord + kName + "AD 00 07000000" + kValues, LoadRule::HashIndexBeyondRecords,
         EntryKind::Validation, 80},
        {"no hashes", kHeader + kRecord + kName + kValues, LoadRule::HashMaxNotNameMax, EntryKind::Validation, 74},
        {"a value too many", kHeader + kRecord + kName + kHash + kValues + "C0 00000000", LoadRule::NameMaxNotLastValue,
         EntryKind::Validation, 105},
    };
    SystemDirectory();  // names are read back against it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryStream stream(FromHex(c.hex));
        CatalogStore store;
        LoadDiagnostics diagnostics;
        EXPECT_EQ(LoadDatabase(store, stream, &diagnostics), kBadDatabaseFile);
        EXPECT_STREQ(LoadRuleName(diagnostics.rule), LoadRuleName(c.rule));
        EXPECT_STREQ(EntryKindName(diagnostics.kind), EntryKindName(c.kind));
        EXPECT_EQ(diagnostics.offset, c.offset);
    }
}

TEST(LoadDiagnostics, ReportsTheValuesTheCheckCompared) {
    SystemDirectory();
    MemoryStream stream(FromHex(kHeader + kRecord + kName + kHash + kValues + "C0 00000000"));
    CatalogStore store;
    LoadDiagnostics diagnostics;
    ASSERT_EQ(LoadDatabase(store, stream, &diagnostics), kBadDatabaseFile);
    EXPECT_EQ(diagnostics.trace, 67u);
    EXPECT_EQ(diagnostics.values[0], 3u);  // nameMax
    EXPECT_EQ(diagnostics.values[1], 5u);  // signer values
}

TEST(LoadDiagnostics, LeavesAFileTheEngineKeepsUntouched) {
    SystemDirectory();
    for (const std::string& hex : {std::string(), kHeader + kRecord + kName + kHash + kValues}) {
        MemoryStream stream(FromHex(hex));
        CatalogStore store;
        LoadDiagnostics diagnostics;
        EXPECT_EQ(LoadDatabase(store, stream, &diagnostics), kSuccess);
        EXPECT_EQ(diagnostics.rule, LoadRule::None);
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
