#include "engine/CatalogStoreFile.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Trace.h"
#include "platform/TraceRecorder.h"
#include "platform/Types.h"
#include "tests/common/Bytes.h"
#include "tools/storeharness/StoreHarness.h"

namespace TarnVerifyTrustDriver::test {
namespace {

using korva::trace::Recorder;
using korva::trace::Source;
using korva::test::FromHex;

std::wstring Host(std::wstring path) {
    for (wchar_t& c : path) c = c == L'\\' ? korva::platform::kPathSeparator : c;
    return path;
}

Bytes Save(CatalogStore& store) {
    MemoryOutput output;
    EXPECT_TRUE(SaveStore(store, output));
    return output.written;
}

bool Load(CatalogStore& store, const Bytes& bytes) {
    MemoryStream stream(bytes);
    return LoadStore(store, stream, 0);
}

TEST(CatalogStoreFile, SavesTheLayoutByteForByteAndAppendsOnlyChanges) {
    const std::wstring a = SystemDirectory() + Host(L"CatRoot\\a.cat");
    FakeVerifier verifier;
    FakeCatalog& first = verifier.catalogs[a];
    first = {{Text("s1"), Text("i1"), Bytes{0x01}, Bytes{0xAA}}, {Hash(0x11, 20), Hash(0x22, 32)}, 0x30007, 0x11223344};
    verifier.catalogs[L"Z:\\b.cat"] = {{Text("s2"), Text("i1"), Bytes{0x02}, Bytes{0xBB}}, {Hash(0x11, 20), Hash(0x05, 32)}, 0x10, 0x55667788};
    CatalogStore store;
    ASSERT_TRUE(store.AddCatalog(a, {kFileAttributeArchive, {0x01020304, 0x05060708}}, verifier));
    ASSERT_TRUE(store.AddCatalog(L"Z:\\b.cat", {kFileAttributeArchive, {0x0A0B0C0D, 0x01D00000}}, verifier));
    const Bytes expected = FromHex(
        "BE 04030201 08070605 07000300 01 00 02 03 44332211 0000000000000000"
        "BE 0D0C0B0A 0000D001 10000000 01 04 05 06 88776655 0100000000000000"
        "DE 4400" + Utf16Hex("\\SystemRoot\\SYSTEM32\\CatRoot\\a.cat") + "00000000"
        "DE 1000" + Utf16Hex("Z:\\b.cat") + "01000000"
        "AD 20" + Hex(Bytes(32, 0x05)) + "01000000"
        "AD 14" + Hex(Bytes(20, 0x11)) + "00000000"
        "AD 20" + Hex(Bytes(32, 0x22)) + "00000000"
        "C0 02000000 7331  C0 02000000 6931  C0 01000000 01  C0 01000000 AA"
        "C0 02000000 7332  C0 01000000 02  C0 01000000 BB");
    Bytes file = Save(store);
    EXPECT_EQ(Hex(file), Hex(expected));
    EXPECT_EQ(Save(store), Bytes());  // nothing left unsaved

    // The changed catalog's record is written again, with the new value.
    first.values[0] = Text("s3");
    ASSERT_TRUE(store.AddCatalog(a, {kFileAttributeArchive, {0x01020304, 0x05060709}}, verifier));
    Bytes appended = Save(store);
    EXPECT_EQ(Hex(appended), Hex(FromHex("BE 04030201 09070605 07000300 01 07 02 03 44332211 0000000000000000"
                                         "C0 02000000 7333")));
    file.insert(file.end(), appended.begin(), appended.end());
    CatalogStore loaded;
    ASSERT_TRUE(Load(loaded, file));
    EXPECT_EQ(Describe(loaded), Describe(store));  // the last record of index 0 won
}

// Small bodies: a record (all signer value indexes 0), names, hashes, values.
const std::string kRecord0 = "BE 0000000000000000 00000000 00000000 00000000 0000000000000000";
const std::string kRecord1 = "BE 0000000000000000 00000000 00010000 00000000 0100000000000000";
const std::string kNameX = "DE 0200 5800 00000000";
const std::string kValue = "C0 01000000 41";
const std::string kValid = kRecord0 + kNameX + kValue;

TEST(CatalogStoreFile, LoadChecksEveryEntryAndTheWholeStore) {
    std::string values255;
    for (int i = 0; i < 255; ++i) values255 += kValue;
    struct Case { const char* what; std::string hex; bool loads; Source source; uint32_t event; };
    const Case cases[] = {
        {"nothing", "", false, Source::Store, 63},
        {"minimal", kValid, true, Source::Store, 0},
        {"hash of length 0", kValid + "AD 00 00000000", true, Source::Store, 0},
        {"empty signer value", kRecord0 + kNameX + "C0 00000000", true, Source::Store, 0},
        {"hash of length 33", kValid + "AD 21" + Hex(Bytes(33, 1)) + "00000000", false, Source::Hash, 14},
        {"unknown tag", kValid + "00", false, Source::Store, 62},
        {"last value unused", kValid + kValue, false, Source::Store, 67},
        {"highest value only without hashes", kRecord0 + kRecord1 + kNameX + "DE 0200 5900 01000000" +
                                                  "AD 01 07 00000000" + kValue + kValue, false, Source::Store, 66},
        {"255 values", kRecord0 + kNameX + values255, false, Source::Store, 59},
        {"name beyond the records", kRecord0 + "DE 0200 5800 01000000" + kValue, false, Source::Store, 64},
        {"record far beyond the others", "BE 0000000000000000 00000000 00000000 00000000 0010000000000000", false, Source::Store, 50},
        {"empty name", kRecord0 + "DE 0000", false, Source::Store, 52},
        {"name empty up to its NUL", kRecord0 + "DE 0400 0000 5800 00000000" + kValue, false, Source::Store, 52},
        {"unset name index", kRecord0 + "DE 0200 5800 FFFFFFFF", false, Source::Store, 53},
        {"value beyond the file", kValid + "C0 10000000 41", false, Source::Store, 58},
        {"record cut short", kValid + "BE 01", false, Source::Store, 49},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        CatalogStore store;
        EXPECT_EQ(Load(store, FromHex(c.hex)), c.loads) << c.what;
        EXPECT_TRUE(c.event == 0 || recorder.Has(c.source, c.event)) << c.what;
    }
    // Of two hashes beyond the records, the one first in key order is named.
    MemoryStream strays(FromHex(kValid + "AD 01 09 05000000 AD 01 08 04000000"));
    CatalogStore store;
    LoadDiagnostics diagnostics;
    EXPECT_TRUE(!LoadStore(store, strays, 0, &diagnostics) && diagnostics.values[0] == 4);
}

TEST(CatalogStoreFile, RepeatedNamesAndHashesKeepTheirFirstRecord) {
    CatalogStore store;
    ASSERT_TRUE(Load(store, FromHex(kRecord0 + "BE 0000000000000000 00000000 00000000 00000000 0100000000000000" + kNameX +
                                    "DE 0200 5800 01000000 AD 01 07 00000000 AD 01 07 01000000" + kValue)));
    EXPECT_EQ(store.records().count(), 2u);
    EXPECT_EQ(store.names().Find(L"X")->ref.index, 0u);
    EXPECT_EQ(store.hashes().Find(Hash(7, 1))->index, 0u);
}

// A name is count / 2 code units cut at the first NUL, an odd last byte
// belonging to none; a repeated signer value takes its own table position but
// the index keeps the first one.
TEST(CatalogStoreFile, NamesEndAtTheirFirstNulAndRepeatedValuesKeepTheirFirstIndex) {
    CatalogStore store;
    const std::string record = "BE 0000000000000000 00000000 00000001 00000000 0000000000000000";  // value 4 is index 1
    ASSERT_TRUE(Load(store, FromHex(record + "DE 0700 5800 0000 5900 5A 00000000 AD 00 00000000" + kValue + kValue)));
    ASSERT_EQ(store.names().count(), 1u);
    EXPECT_NE(store.names().Find(L"X"), nullptr);
    EXPECT_EQ(store.signerValues().count(), 2u);
    EXPECT_EQ(store.signerValueIndex().Find(Text("A"))->index, 0u);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
