#include "engine/CatalogStoreFile.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/Types.h"
#include "tests/common/Bytes.h"
#include "tools/storeharness/StoreHarness.h"

namespace TarnVerifyTrustDriver::test {
namespace {

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

// Repeated names, hashes and signer values keep their first record or index,
// a repeated value still taking its own table position; a name is count / 2
// code units cut at the first NUL, an odd last byte belonging to none.
TEST(CatalogStoreFile, RepeatedEntriesKeepTheirFirstAndNamesEndAtTheirFirstNul) {
    const std::string value = "C0 01000000 41";
    CatalogStore repeated;
    ASSERT_TRUE(Load(repeated, FromHex("BE 0000000000000000 00000000 00000000 00000000 0000000000000000"
                                       "BE 0000000000000000 00000000 00000000 00000000 0100000000000000"
                                       "DE 0200 5800 00000000 DE 0200 5800 01000000 AD 01 07 00000000 AD 01 07 01000000" +
                                       value)));
    EXPECT_EQ(repeated.records().count(), 2u);
    EXPECT_EQ(repeated.names().Find(L"X")->ref.index, 0u);
    EXPECT_EQ(repeated.hashes().Find(Hash(7, 1))->index, 0u);
    CatalogStore store;  // its record's value 4 is index 1
    ASSERT_TRUE(Load(store, FromHex("BE 0000000000000000 00000000 00000001 00000000 0000000000000000"
                                    "DE 0700 5800 0000 5900 5A 00000000 AD 00 00000000" + value + value)));
    ASSERT_EQ(store.names().count(), 1u);
    EXPECT_NE(store.names().Find(L"X"), nullptr);
    EXPECT_EQ(store.signerValues().count(), 2u);
    EXPECT_EQ(store.signerValueIndex().Find(Text("A"))->index, 0u);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
