#include "toolkit/Name.h"

#include <gtest/gtest.h>

#include "tests/toolkit/DerBuilder.h"
#include "toolkit/NameAttributeTable.h"

namespace korva::toolkit {
namespace {

using namespace testing;

struct OwnedName {
    NameObject* name = nullptr;
    Status status;
    explicit OwnedName(const Der& der) {
        NameCreate(nullptr, &name);
        status = NameSetEncoding(name, der.data(), static_cast<uint32_t>(der.size()));
    }
    ~OwnedName() { NameFree(&name); }
};

// ASCII as BMPString octets.
std::string Bmp(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += {'\0', c};
    return out;
}

TEST(Name, DecodesAttributesInOrderWithTheirRdnStarts) {
    OwnedName name(Sequence({Rdn({{kCountry, 0x13, "US"}}), Rdn({{kCommonName, 0x0C, "x"}, {kOrganization, 0x13, "y"}})}));
    ASSERT_EQ(name.status, kOk);
    uint32_t count = 0;
    ASSERT_EQ(NameCount(name.name, &count), kOk);
    ASSERT_EQ(count, 3u);
    NameAttribute attribute{};
    const uint32_t firsts[] = {1, 1, 0};
    const uint32_t types[] = {19, 12, 19};
    for (uint32_t i = 0; i < 3; ++i) {
        ASSERT_EQ(NameGetAttribute(name.name, i, &attribute), kOk);
        EXPECT_EQ(attribute.firstInRdn, firsts[i]);
        EXPECT_EQ(attribute.stringType, types[i]);
    }
    EXPECT_EQ(NameGetAttribute(name.name, 3, &attribute), kIndexOutOfRange);
    Der encoded(NameEncode(name.name, {}));
    ASSERT_EQ(NameEncode(name.name, encoded), encoded.size());
    EXPECT_EQ(encoded, Der(name.name->der, name.name->der + name.name->derLength));
}

TEST(Name, RefusesWhatIsNotAName) {
    const Der cases[] = {
        Sequence({Tlv(0x31, {})}),                                                       // empty RDN
        Sequence({Tlv(0x31, Sequence({Tlv(0x06, {}), Tlv(0x13, Text("a"))}))}),               // empty OID
        Sequence({Tlv(0x31, Sequence({Tlv(0x06, {0x55, 0x80}), Tlv(0x13, Text("a"))}))}),     // unfinished OID
        Sequence({Tlv(0x31, Sequence({Tlv(0x06, kCommonName), Tlv(0x1E, {0x00})}))}),         // half a BMP character
        Sequence({Tlv(0x31, Sequence({Tlv(0x06, kCommonName), Tlv(0x1E, {0xD8, 0x00})}))}),   // a lone surrogate
        Sequence({Tlv(0x31, Sequence({Tlv(0x06, kCommonName), Tlv(0x0C, {0xC0, 0x80})}))}),   // overlong UTF-8
        Sequence({Tlv(0x31, Sequence({Tlv(0x06, kCommonName), Tlv(0x02, {0x01})}))}),         // not a string
        Sequence({Tlv(0x31, Sequence({Tlv(0x06, kCommonName), Tlv(0x13, Text("a")), Tlv(0x13, Text("b"))}))}),
        Concat({NameDer({{kCommonName, 0x13, "a"}}), Der{0x00}}),                      // trailing octet
    };
    for (const Der& der : cases) EXPECT_EQ(OwnedName(der).status, kMalformedEncoding) << ::testing::PrintToString(der);
    EXPECT_EQ(OwnedName(Der{}).status, kDataMissing);
    alignas(8) unsigned char notAName[64] = {};
    EXPECT_EQ(NameSetEncoding(reinterpret_cast<NameObject*>(notAName), nullptr, 0), kInvalidName);
    OwnedName empty(Sequence({}));
    EXPECT_EQ(empty.status, kOk);
    EXPECT_EQ(empty.name->count, 0u);
}

TEST(Name, ComparesPrintableStringsLooselyAndOthersExactly) {
    struct Case {
        Der a;
        Der b;
        int result;
    };
    const Case cases[] = {
        {NameDer({{kCommonName, 0x13, "Ab  c"}}), NameDer({{kCommonName, 0x13, "aB c"}}), 0},
        {NameDer({{kCommonName, 0x13, "  ab "}}), NameDer({{kCommonName, 0x13, "AB"}}), 0},
        {NameDer({{kCommonName, 0x13, "Ab  c"}}), NameDer({{kCommonName, 0x0C, "aB c"}}), -1},
        {NameDer({{kCommonName, 0x0C, "ab"}}), NameDer({{kCommonName, 0x0C, "AB"}}), -1},
        {NameDer({{kCommonName, 0x13, "a@b"}}), NameDer({{kCommonName, 0x13, "a@b"}}), -1},
        {NameDer({{kCommonName, 0x13, "a b"}}), NameDer({{kCommonName, 0x13, "ab"}}), -1},
        {NameDer({{kCommonName, 0x13, "a"}}), NameDer({{kOrganization, 0x13, "a"}}), -1},
        {NameDer({{kCommonName, 0x13, "a"}}), NameDer({{kCommonName, 0x13, "a"}, {kCountry, 0x13, "US"}}), -1},
        {NameDer({{kCountry, 0x13, "US"}, {kCommonName, 0x13, "a"}}),
         NameDer({{kCommonName, 0x13, "a"}, {kCountry, 0x13, "US"}}), -1},
        {Sequence({Rdn({{kCountry, 0x13, "US"}, {kCommonName, 0x13, "a"}})}),
         Sequence({Rdn({{kCommonName, 0x13, "A"}, {kCountry, 0x13, "us"}})}), 0},
        {NameDer({{kCommonName, 0x1E, Bmp("ab")}}), NameDer({{kCommonName, 0x1E, Bmp("ab")}}), 0},
        {Sequence({}), Sequence({}), 0},
    };
    for (const Case& c : cases) {
        OwnedName a(c.a);
        OwnedName b(c.b);
        ASSERT_EQ(a.status, kOk);
        ASSERT_EQ(b.status, kOk);
        EXPECT_EQ(NameCompare(a.name, b.name), c.result) << ::testing::PrintToString(c.a);
        EXPECT_EQ(NameCompare(b.name, a.name), c.result);
    }
}

TEST(Name, AttributeTableBoundsStringTypesAndLengths) {
    const Der email{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01};
    const Der postal{0x55, 0x04, 0x11};
    struct Case {
        Der name;
        Status status;
    };
    const Case cases[] = {
        {NameDer({{kCountry, 0x13, "US"}}), kOk},
        {NameDer({{kCountry, 0x13, "USA"}}), kNameBadLength},
        {NameDer({{kCountry, 0x0C, "US"}}), kNameStringTypeNotAllowed},
        {NameDer({{kCommonName, 0x13, "a@b"}}), kNameBadCharacter},
        {NameDer({{kCommonName, 0x13, ""}}), kNameBadLength},
        {NameDer({{kCommonName, 0x13, std::string(512, 'a')}}), kOk},
        {NameDer({{kCommonName, 0x13, std::string(513, 'a')}}), kNameBadLength},
        {NameDer({{kCommonName, 0x0C, std::string(2048, 'a')}}), kOk},
        {NameDer({{kCommonName, 0x0C, std::string(2049, 'a')}}), kNameBadLength},
        {NameDer({{kCommonName, 0x16, "a"}}), kNameStringTypeNotAllowed},
        {NameDer({{postal, 0x14, std::string(80, 'a')}}), kOk},
        {NameDer({{postal, 0x14, std::string(81, 'a')}}), kNameBadLength},
        {NameDer({{email, 0x16, std::string(128, 'a')}}), kOk},
        {NameDer({{email, 0x16, std::string(129, 'a')}}), kNameBadLength},
        {NameDer({{email, 0x13, "a"}}), kNameStringTypeNotAllowed},
        {NameDer({{kCommonName, 0x1E, Bmp(std::string(512, 'a'))}}), kOk},
        {NameDer({{kCommonName, 0x1E, Bmp(std::string(513, 'a'))}}), kNameBadLength},
        {NameDer({{Der{0x55, 0x04, 0x63}, 0x16, ""}}), kOk},  // not in the table
    };
    for (const Case& c : cases) {
        OwnedName name(c.name);
        ASSERT_EQ(name.status, kOk);
        EXPECT_EQ(NameCheckAttributes(name.name), c.status) << ::testing::PrintToString(c.name);
    }
}

}  // namespace
}  // namespace korva::toolkit
