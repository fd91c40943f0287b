#include "platform/RegFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/TextConversion.h"

namespace korva::platform {
namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::wstring kKey = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\T";

RegFileStatus Parse(const std::string& text, RegTree& tree) {
    return ParseRegFile(reinterpret_cast<const uint8_t*>(text.data()), text.size(), tree);
}

const RegValue* Find(const RegTree& tree, const std::wstring& key, const std::wstring& name) {
    auto entry = tree.keys.find(key);
    if (entry == tree.keys.end()) return nullptr;
    auto value = entry->second.values.find(name);
    return value == entry->second.values.end() ? nullptr : &value->second;
}

std::vector<uint8_t> Utf16Sz(const std::wstring& text) {
    std::string bytes = WideToUtf16Le(text);
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    data.insert(data.end(), 2, 0);
    return data;
}

TEST(RegFile, ReadsEveryValueForm) {
    RegTree tree;
    RegFileStatus status = Parse(kHeader +
        "; a comment\r\n"
        "[HKLM\\Software\\T]\r\n"
        "\"Path\"=\"C:\\\\X \\\"q\\\"\"\r\n"
        "@=\"default\"\r\n"
        "\"Flag\" = dword:0000002a ; trailing comment\r\n"
        "\"Short\"=dword:1\r\n"
        "\"Bin\"=hex:01,ab,\\\r\n"
        "   FF\r\n"
        "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
        "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
        "\"Quad\"=hex(b):01,02,03,04,05,06,07,08\r\n"
        "\"Empty\"=hex:\r\n", tree);
    ASSERT_TRUE(status.ok()) << RegFileErrorName(status.error) << " line " << status.line;

    const struct {
        const wchar_t* name;  // folded, as the tree keeps it
        uint32_t type;
        std::vector<uint8_t> data;
    } values[] = {
        {L"PATH", kRegSz, Utf16Sz(L"C:\\X \"q\"")},
        {L"", kRegSz, Utf16Sz(L"default")},
        {L"FLAG", kRegDword, {0x2a, 0, 0, 0}},
        {L"SHORT", kRegDword, {1, 0, 0, 0}},
        {L"BIN", kRegBinary, {0x01, 0xab, 0xff}},
        {L"EXPAND", kRegExpandSz, Utf16Sz(L"%A%")},
        {L"MULTI", kRegMultiSz, {0x61, 0, 0, 0, 0, 0}},
        {L"QUAD", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
        {L"EMPTY", kRegBinary, {}},
    };
    for (const auto& v : values) {
        const RegValue* value = Find(tree, kKey, v.name);
        ASSERT_NE(value, nullptr) << WideToUtf8(v.name);
        EXPECT_EQ(value->type, v.type) << WideToUtf8(v.name);
        EXPECT_EQ(value->data, v.data) << WideToUtf8(v.name);
    }
    EXPECT_EQ(tree.valueCount, 9u);
}

TEST(RegFile, CreatesAncestorsAndFoldsNames) {
    RegTree tree;
    ASSERT_TRUE(Parse(kHeader + "[hkey_local_machine\\Software\\Vendor\\Product]\n\"Name\"=\"v\"\n", tree).ok());
    EXPECT_EQ(tree.keys.count(L"HKEY_LOCAL_MACHINE"), 1u);
    EXPECT_EQ(tree.keys.count(L"HKEY_LOCAL_MACHINE\\SOFTWARE"), 1u);
    EXPECT_EQ(tree.keys.count(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\VENDOR\\PRODUCT"), 1u);
    EXPECT_EQ(FoldRegistryName(L"Shared Kit\\PathExpansionMap"), L"SHARED KIT\\PATHEXPANSIONMAP");

    // Ancestors deleted in between are made again; a key named again keeps its values.
    ASSERT_TRUE(Parse(kHeader + "[HKLM\\A\\B\\C]\n\"v\"=\"1\"\n[-HKLM\\A\\B]\n[HKLM\\A\\B\\C\\D]\n"
                                "[HKLM\\A\\X]\n\"w\"=\"2\"\n[HKLM\\A\\B\\C\\D]\n[HKLM\\A\\X]\n", tree).ok());
    for (const wchar_t* key : {L"HKEY_LOCAL_MACHINE\\A\\B", L"HKEY_LOCAL_MACHINE\\A\\B\\C"}) {
        ASSERT_EQ(tree.keys.count(key), 1u) << key;
        EXPECT_TRUE(tree.keys.at(key).values.empty());
    }
    EXPECT_NE(Find(tree, L"HKEY_LOCAL_MACHINE\\A\\X", L"W"), nullptr);
    EXPECT_EQ(tree.keys.size(), 6u);
    EXPECT_EQ(tree.valueCount, 1u);
}

TEST(RegFile, DeletesKeysWithTheirSubkeysAndSingleValues) {
    RegTree tree;
    ASSERT_TRUE(Parse(kHeader +
        "[HKLM\\Software\\T\\Sub]\n\"a\"=\"1\"\n"
        "[HKLM\\Software\\T2]\n\"b\"=\"2\"\n\"c\"=\"3\"\n\"B\"=-\n"
        "[-HKLM\\Software\\T]\n", tree).ok());
    EXPECT_EQ(tree.keys.count(kKey), 0u);
    EXPECT_EQ(tree.keys.count(kKey + L"\\SUB"), 0u);
    EXPECT_EQ(Find(tree, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\T2", L"B"), nullptr);
    EXPECT_NE(Find(tree, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\T2", L"C"), nullptr);
    EXPECT_EQ(tree.valueCount, 1u);
}

TEST(RegFile, DecodesUtf16WithBomAndUtf8WithBom) {
    std::string text = kHeader + "[HKLM\\Software\\T]\r\n\"N\"=\"\xc3\xa9\"\r\n";
    std::string utf16 = "\xff\xfe" + WideToUtf16Le(Utf8ToWide(text));
    RegTree fromUtf16;
    ASSERT_TRUE(ParseRegFile(reinterpret_cast<const uint8_t*>(utf16.data()), utf16.size(), fromUtf16).ok());
    RegTree fromUtf8;
    ASSERT_TRUE(Parse("\xef\xbb\xbf" + text, fromUtf8).ok());
    EXPECT_EQ(Find(fromUtf16, kKey, L"N")->data, Utf16Sz(L"\u00e9"));
    EXPECT_EQ(Find(fromUtf8, kKey, L"N")->data, Utf16Sz(L"\u00e9"));
}

TEST(RegFile, FailedParseLeavesTheTreeAsItWas) {
    RegTree tree;
    ASSERT_TRUE(Parse(kHeader + "[HKLM\\Software\\T]\n", tree).ok());
    EXPECT_FALSE(Parse(kHeader + "[HKLM\\Software\\Other]\n\"x\"=bogus\n", tree).ok());
    EXPECT_EQ(tree.keys.count(kKey), 1u);
    EXPECT_EQ(tree.keys.count(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\OTHER"), 0u);
}

struct Malformed {
    const char* body;  // after the header and one key line, unless it starts with '!'
    RegFileError error;
    uint32_t line;
};

TEST(RegFile, NamesEachMalformationAndItsLine) {
    const std::string longName(kMaxRegKeyNameLength + 1, 'k');
    const std::string longValueName(kMaxRegValueNameLength + 1, 'v');
    const std::string longPath = [] {
        std::string path = "HKLM";
        while (path.size() <= kMaxRegKeyPathLength) path += "\\abcdefgh";
        return path;
    }();
    const Malformed cases[] = {
        {"!", RegFileError::MissingHeader, 0},
        {"!\n\nWindows Registry Editor Version 4.00\n", RegFileError::MissingHeader, 3},
        {"!Windows Registry Editor Version 5.00\n\"a\"=\"b\"\n", RegFileError::ValueOutsideKey, 2},
        {"junk\n", RegFileError::UnexpectedLine, 4},
        {"[HKLM\\Software\n", RegFileError::UnterminatedKeyName, 4},
        {"[HKLM\\Software] x\n", RegFileError::UnterminatedKeyName, 4},
        {"[HKEY_NOWHERE\\X]\n", RegFileError::UnknownRootKey, 4},
        {"[HKLM\\\\X]\n", RegFileError::EmptyKeyComponent, 4},
        {"[HKLM\\X\\]\n", RegFileError::EmptyKeyComponent, 4},
        {"[]\n", RegFileError::EmptyKeyComponent, 4},
        {"[-HKLM\\Software\\T]\n\"a\"=\"b\"\n", RegFileError::ValueOutsideKey, 5},
        {"\"a\"=\"b\n", RegFileError::UnterminatedString, 4},
        {"\"a\n", RegFileError::UnterminatedString, 4},
        {"\"a\"=\"b\\n\"\n", RegFileError::BadEscape, 4},
        {"\"a\"=\"b\\", RegFileError::UnterminatedString, 4},
        {"\"a\" \"b\"\n", RegFileError::MissingEquals, 4},
        {"@\n", RegFileError::MissingEquals, 4},
        {"\"a\"=\"b\" x\n", RegFileError::TrailingText, 4},
        {"\"a\"=-x\n", RegFileError::TrailingText, 4},
        {"\"a\"=str:\"x\"\n", RegFileError::UnknownValueType, 4},
        {"\"a\"=DWORD:1\n", RegFileError::UnknownValueType, 4},
        {"\"a\"=dword:\n", RegFileError::BadDword, 4},
        {"\"a\"=dword:123456789\n", RegFileError::BadDword, 4},
        {"\"a\"=dword:12g\n", RegFileError::TrailingText, 4},
        {"\"a\"=hex():00\n", RegFileError::BadHexType, 4},
        {"\"a\"=hex(123456789):00\n", RegFileError::BadHexType, 4},
        {"\"a\"=hex(2)00\n", RegFileError::BadHexType, 4},
        {"\"a\"=hex:0g\n", RegFileError::BadHexByte, 4},
        {"\"a\"=hex:123\n", RegFileError::BadHexByte, 4},
        {"\"a\"=hex:01 02\n", RegFileError::BadHexByte, 4},
        {"\"a\"=hex:,01\n", RegFileError::BadHexByte, 4},
        {"\"a\"=hex:01\\\n02\n", RegFileError::BadHexByte, 4},
        {"\"a\"=hex:01,\\ x\n", RegFileError::TrailingText, 4},
        {"\"a\"=hex:01,\\\n02,\\\n", RegFileError::ContinuationAtEnd, 5},
        {"\"a\"=hex:01,\\\n\n", RegFileError::None, 0},
        {"!REGEDIT4\n\n[HKLM\\Software\\T]\n", RegFileError::None, 0},  // the older header
    };
    for (const Malformed& c : cases) {
        std::string body = c.body;
        std::string text = body.starts_with("!") ? body.substr(1) : kHeader + "[HKLM\\Software\\T]\n" + body;
        RegTree tree;
        RegFileStatus status = Parse(text, tree);
        EXPECT_EQ(status.error, c.error) << c.body << ": " << RegFileErrorName(status.error);
        EXPECT_EQ(status.line, c.line) << c.body;
    }
    RegTree tree;
    EXPECT_EQ(Parse(kHeader + "[HKLM\\" + longName + "]\n", tree).error, RegFileError::KeyNameTooLong);
    EXPECT_EQ(Parse(kHeader + "[" + longPath + "]\n", tree).error, RegFileError::KeyNameTooLong);
    EXPECT_EQ(Parse(kHeader + "[HKLM\\T]\n\"" + longValueName + "\"=\"\"\n", tree).error,
              RegFileError::ValueNameTooLong);
}

TEST(RegFile, EnforcesSizeLimits) {
    RegTree tree;
    std::vector<uint8_t> huge(kMaxRegFileBytes + 1, ' ');
    EXPECT_EQ(ParseRegFile(huge.data(), huge.size(), tree).error, RegFileError::TooLarge);

    std::string bigHex = kHeader + "[HKLM\\T]\n\"a\"=hex:";
    for (size_t i = 0; i <= kMaxRegValueBytes; ++i) bigHex += "0,";
    bigHex += '\n';
    EXPECT_EQ(Parse(bigHex, tree).error, RegFileError::ValueTooLarge);

    std::string manyKeys = kHeader;
    for (size_t i = 0; i < kMaxRegKeys; ++i) manyKeys.append("[HKLM\\").append(std::to_string(i)).append("]\n");
    EXPECT_EQ(Parse(manyKeys, tree).error, RegFileError::TooManyKeys);

    std::string manyValues = kHeader + "[HKLM\\T]\n";
    for (size_t i = 0; i <= kMaxRegValues; ++i) manyValues.append("\"").append(std::to_string(i)).append("\"=dword:1\n");
    EXPECT_EQ(Parse(manyValues, tree).error, RegFileError::TooManyValues);
}

}  // namespace
}  // namespace korva::platform
