#include "tools/cattool/Text.h"

#include <gtest/gtest.h>

#include "tools/cattool/Json.h"

namespace korva::cattool {
namespace {

TEST(Text, WritesTimesAsIso8601Utc) {
    EXPECT_EQ(IsoFromFileTime(0), "1601-01-01T00:00:00Z");
    EXPECT_EQ(IsoFromFileTime(116444736000000000ull), "1970-01-01T00:00:00Z");
    EXPECT_EQ(IsoFromFileTime(116444736000000001ull), "1970-01-01T00:00:00.0000001Z");
    EXPECT_EQ(IsoFromFileTime(0x01D00000'00000001ull), "2014-11-14T11:41:59.3744385Z");
    EXPECT_EQ(IsoFromFileTime(2650467743999999999ull), "9999-12-31T23:59:59.9999999Z");
    EXPECT_EQ(IsoFromUnixSeconds(985395600), "2001-03-24T01:00:00Z");
    EXPECT_EQ(IsoFromUnixSeconds(951782400), "2000-02-29T00:00:00Z");
    EXPECT_EQ(IsoFromUnixSeconds(4294967295), "2106-02-07T06:28:15Z");
}

TEST(Text, ShowsNamesAsTextAndEverythingElseAsHex) {
    using B = std::vector<uint8_t>;
    EXPECT_EQ(PrintableText(B{'K', 'o', 0}), "Ko");                    // a name text's NUL
    EXPECT_EQ(PrintableText(B{0xC3, 0xA9}), "\xC3\xA9");               // UTF-8
    EXPECT_EQ(PrintableText(B{}), std::nullopt);
    EXPECT_EQ(PrintableText(B{0}), std::nullopt);
    EXPECT_EQ(PrintableText(B{'a', 0, 'b'}), std::nullopt);            // an inner NUL
    EXPECT_EQ(PrintableText(B{0x01, 0x7F}), std::nullopt);
    EXPECT_EQ(PrintableText(B{0xC3}), std::nullopt);                  // cut short
    EXPECT_EQ(PrintableText(B{0xC0, 0x80}), std::nullopt);            // overlong
    EXPECT_EQ(Hex(B{0x00, 0xAB, 0xFF}), "00abff");
    EXPECT_EQ(ParseDigestHex(std::string(40, 'A')), B(20, 0xAA));
    EXPECT_EQ(ParseDigestHex(std::string(64, '0')), B(32, 0));
    EXPECT_EQ(ParseDigestHex(std::string(42, '0')), std::nullopt);
    EXPECT_EQ(ParseDigestHex(std::string(39, '0') + "g"), std::nullopt);
}

TEST(Text, DecodesSignerFlagsBitByBit) {
    using V = std::vector<std::string>;
    EXPECT_EQ(SignerFlagNames(0), V{});
    EXPECT_EQ(SignerFlagNames(0x31007), (V{"eligible-signer", "code-signing-usage", "eligible-by-usage-or-unit", "base-0x1000",
                                           "base-0x10000", "revocation-checked"}));
    EXPECT_EQ(SignerFlagNames(0x80000100), (V{"0x100", "0x80000000"}));
}

TEST(Json, SeparatesAndEscapes) {
    JsonWriter json;
    json.BeginObject().Key("a").BeginArray().Number(1).String("q\"\\\n").Null().Bool(false).EndArray();
    json.Key("b").BeginObject().EndObject().EndObject();
    EXPECT_EQ(json.Finish(), "{\"a\":[1,\"q\\\"\\\\\\u000a\",null,false],\"b\":{}}\n");
}

}  // namespace
}  // namespace korva::cattool
