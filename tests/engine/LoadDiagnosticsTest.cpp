#include "engine/LoadDiagnostics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/CatalogDatabaseFile.h"
#include "platform/TraceRecorder.h"
#include "tests/common/Bytes.h"
#include "tools/storeharness/StoreHarness.h"

namespace TarnVerifyTrustDriver::test {
namespace {

using korva::test::FromHex;
using korva::trace::Recorder;
using korva::trace::Source;

// Header, one record (values 0-3) at 12, its name "a" at 41, one hash at 50,
// four signer values from 76; validation reports the end of the log.
const std::string kHeader = "DE000000 08000000 00000000";
const std::string kRecord = "BE 00000000 00000000 00000000 01 00 02 03 00000000 0000000000000000";
const std::string kName = "DE 0200 6100 00000000";
const std::string kHash = "AD 14 " + std::string(40, '1') + " 00000000";
const std::string kValues = "C0 01000000 61 C0 01000000 62 C0 01000000 63 C0 01000000 64";
const std::string kComplete = kHeader + kRecord + kName + kHash + kValues;
// A smaller log: a record of value 0 only at 12, its name "X" at 41, one value at 50.
const std::string kRecord0 = "BE 0000000000000000 00000000 00000000 00000000 0000000000000000";
const std::string kNameX = "DE 0200 5800 00000000";
const std::string kValue = "C0 01000000 41";
const std::string kMinimal = kHeader + kRecord0 + kNameX + kValue;

struct Case {
    const char* what;
    std::string hex;
    LoadRule rule;  // None: the engine keeps the file, and nothing is reported
    EntryKind kind;
    uint64_t offset;
    uint32_t event;  // the header's events are the engine's, a hash's length the hash's, the rest the store's
    std::vector<uint64_t> values = {};  // those the check compared, when given
};

// Every refusal names its entry, rule and event, whether or not the caller
// asks for diagnostics.
TEST(LoadDiagnostics, NamesTheEntryTheRuleAndTheValuesOfEveryRefusal) {
    std::string values255;
    for (int i = 0; i < 255; ++i) values255 += kValue;
    const Case cases[] = {
        {"empty file", "", LoadRule::None, EntryKind::Header, 0, 0},
        {"complete", kComplete, LoadRule::None, EntryKind::Header, 0, 0},
        {"minimal", kMinimal, LoadRule::None, EntryKind::Header, 0, 0},
        {"hash of length 0", kMinimal + "AD 00 00000000", LoadRule::None, EntryKind::Header, 0, 0},
        {"empty signer value", kHeader + kRecord0 + kNameX + "C0 00000000", LoadRule::None, EntryKind::Header, 0, 0},
        {"wrong magic", "DF000000 08000000 00000000" + kRecord, LoadRule::BadMagic, EntryKind::Header, 0, 49},
        {"short header", "DE00", LoadRule::BadVersion, EntryKind::Header, 0, 50},
        {"wrong version", "DE000000 07000000 00000000", LoadRule::BadVersion, EntryKind::Header, 0, 50},
        {"dirty", "DE000000 08000000 01000000" + kRecord + kName + kHash + kValues, LoadRule::DirtyHeader,
         EntryKind::Header, 0, 51},
        {"record cut short", kHeader + "BE", LoadRule::RecordTruncated, EntryKind::Record, 12, 49},
        {"record index unset", kHeader + "BE 0000000000000000 00000000 00000000 00000000 FFFFFFFF00000000",
         LoadRule::RecordIndexOutOfRange, EntryKind::Record, 12, 50},
        {"record far beyond the others", kHeader + "BE 0000000000000000 00000000 00000000 00000000 0010000000000000",
         LoadRule::RecordIndexOutOfRange, EntryKind::Record, 12, 50},
        {"name of 0 bytes", kHeader + kRecord + "DE 0000", LoadRule::NameUnreadable, EntryKind::Name, 41, 52},
        {"name empty up to its NUL", kHeader + kRecord0 + "DE 0400 0000 5800 00000000" + kValue, LoadRule::NameUnreadable,
         EntryKind::Name, 41, 52},
        {"name index unset", kHeader + kRecord + "DE 0200 6100 FFFFFFFF", LoadRule::NameIndexInvalid, EntryKind::Name, 41, 53},
        {"hash of 33", kHeader + kRecord + kName + "AD 21", LoadRule::HashTooLong, EntryKind::Hash, 50, 14, {33}},
        {"hash index unset", kHeader + kRecord + kName + "AD 00 FFFFFFFF", LoadRule::HashIndexInvalid, EntryKind::Hash, 50, 56},
        {"value past the end", kHeader + kRecord + "C0 05000000 61", LoadRule::SignerValueTruncated, EntryKind::SignerValue,
         41, 58},
        {"255 values", kHeader + kRecord0 + kNameX + values255, LoadRule::SignerValueTableFull, EntryKind::SignerValue,
         12 + 29 + 9 + 254 * 6, 59, {254}},
        {"tag 0x00", kHeader + kRecord + "00", LoadRule::UnknownTag, EntryKind::UnknownTag, 41, 62, {0}},
        {"header only", kHeader, LoadRule::NoSignerValue, EntryKind::Validation, 12, 63},
        {"name beyond the records", kHeader + "DE 0200 6100 05000000" + kValues, LoadRule::NameIndexBeyondRecords,
         EntryKind::Validation, 45, 64, {5, 0}},
        {"hash beyond the records", kHeader + kRecord + kName + "AD 00 07000000" + kValues, LoadRule::HashIndexBeyondRecords,
         EntryKind::Validation, 80, 65, {7, 1}},
        // Of two hashes beyond the records, the one first in key order is named.
        {"two hashes beyond the records", kMinimal + "AD 01 09 05000000 AD 01 08 04000000",
         LoadRule::HashIndexBeyondRecords, EntryKind::Validation, 70, 65, {4, 1}},
        {"no hashes", kHeader + kRecord + kName + kValues, LoadRule::HashMaxNotNameMax, EntryKind::Validation, 74, 66, {3, 0}},
        // The second record brings the highest value, but only the first owns a hash.
        {"highest value only without hashes",
         kHeader + kRecord0 + "BE 0000000000000000 00000000 00010000 00000000 0100000000000000" + kNameX +
             "DE 0200 5900 01000000 AD 01 07 00000000" + kValue + kValue,
         LoadRule::HashMaxNotNameMax, EntryKind::Validation, 107, 66, {1, 0}},
        {"a value too many", kComplete + "C0 00000000", LoadRule::NameMaxNotLastValue, EntryKind::Validation, 105, 67,
         {3, 5}},
        {"last value unused", kMinimal + kValue, LoadRule::NameMaxNotLastValue, EntryKind::Validation, 62, 67, {0, 2}},
    };
    SystemDirectory();  // names are read back against it
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const HResult result = c.rule == LoadRule::None ? kSuccess : kBadDatabaseFile;
        MemoryStream plain(FromHex(c.hex));
        CatalogStore plainStore;
        EXPECT_EQ(LoadDatabase(plainStore, plain), result);
        Recorder recorder;
        MemoryStream stream(FromHex(c.hex));
        CatalogStore store;
        LoadDiagnostics diagnostics;
        EXPECT_EQ(LoadDatabase(store, stream, &diagnostics), result);
        EXPECT_STREQ(LoadRuleName(diagnostics.rule), LoadRuleName(c.rule));
        EXPECT_STREQ(EntryKindName(diagnostics.kind), EntryKindName(c.kind));
        EXPECT_EQ(diagnostics.offset, c.offset);
        EXPECT_EQ(diagnostics.trace, c.event);
        const Source source = c.kind == EntryKind::Header ? Source::Engine
                              : c.rule == LoadRule::HashTooLong ? Source::Hash : Source::Store;
        EXPECT_TRUE(c.event == 0 || recorder.Has(source, c.event));
        for (size_t i = 0; i < c.values.size(); ++i) EXPECT_EQ(diagnostics.values[i], c.values[i]) << i;
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
