// Bytes and DER headers read and written at fixed places.
#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace korva::platform {
namespace {

using Bytes = std::vector<uint8_t>;

// `read` takes exactly sizeof(T) bytes; one byte short it fails and changes
// neither the value nor the position.
template <typename T>
void ExpectRead(bool (ByteReader::*read)(T&), T expected) {
    const Bytes input = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    ByteReader exact(input.data(), sizeof(T));
    T value = 0;
    ASSERT_TRUE((exact.*read)(value));
    EXPECT_EQ(value, expected);
    EXPECT_TRUE(exact.AtEnd());
    ByteReader shortReader(input.data(), sizeof(T) - 1);
    value = 0x5A;
    EXPECT_FALSE((shortReader.*read)(value));
    EXPECT_EQ(value, T{0x5A});
    EXPECT_EQ(shortReader.Position(), 0u);
}

TEST(ByteReader, IntegersReadInTheirNamedOrderAndAdvanceOnlyOnSuccess) {
    ExpectRead(&ByteReader::ReadU8, uint8_t{0x01});
    ExpectRead(&ByteReader::ReadU16Le, uint16_t{0x0201});
    ExpectRead(&ByteReader::ReadU16Be, uint16_t{0x0102});
    ExpectRead(&ByteReader::ReadU32Le, uint32_t{0x04030201});
    ExpectRead(&ByteReader::ReadU32Be, uint32_t{0x01020304});
    ExpectRead(&ByteReader::ReadU64Le, uint64_t{0x0807060504030201});
    ExpectRead(&ByteReader::ReadU64Be, uint64_t{0x0102030405060708});
}

TEST(ByteReader, SpansTakeExactlyTheRemainingBytesAndNoMore) {
    const Bytes input = {1, 2, 3, 4};
    ByteReader reader(input);
    ASSERT_TRUE(reader.Skip(1));
    ByteSpan bytes;
    EXPECT_FALSE(reader.ReadBytes(4, bytes));  // one past the end
    EXPECT_FALSE(reader.Skip(4));
    uint8_t copy[4] = {};
    EXPECT_FALSE(reader.CopyBytes(copy));
    EXPECT_EQ(reader.Position(), 1u);
    EXPECT_FALSE(reader.SkipPrefix(Bytes{2, 9}));
    EXPECT_TRUE(reader.SkipPrefix(Bytes{2}));
    ASSERT_TRUE(reader.ReadBytes(2, bytes));  // exactly what is left
    EXPECT_EQ(bytes.data(), input.data() + 2);
    EXPECT_EQ(reader.Since(1).size(), 3u);
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_TRUE(reader.ReadBytes(0, bytes));
    EXPECT_TRUE(reader.Rest().empty());
    ByteReader empty(nullptr, 5);
    EXPECT_EQ(empty.Remaining(), 0u);
    EXPECT_FALSE(empty.Skip(1));
}

struct HeaderCase {
    const char* name;
    Bytes bytes;
    DerRules rules;
    DerError error;
    uint32_t tag = 0;
    uint32_t length = 0;
    size_t headerLength = 0;
    bool indefinite = false;
};

const HeaderCase kHeaderCases[] = {
    {"short length", {0x30, 0x05}, DerRules::kDer, DerError::kNone, 16, 5, 2},
    {"long form one octet", {0x04, 0x81, 0x80}, DerRules::kDer, DerError::kNone, 4, 0x80, 3},
    {"long form four octets", {0x04, 0x84, 0x01, 0x02, 0x03, 0x04}, DerRules::kDer, DerError::kNone, 4, 0x01020304, 6},
    {"leading zero under DER", {0x04, 0x82, 0x00, 0x80}, DerRules::kDer, DerError::kNonMinimalLength},
    {"leading zero under BER", {0x04, 0x82, 0x00, 0x80}, DerRules::kBer, DerError::kNone, 4, 0x80, 4},
    {"short length in long form under DER", {0x04, 0x81, 0x7F}, DerRules::kDer, DerError::kNonMinimalLength},
    {"short length in long form under BER", {0x04, 0x81, 0x7F}, DerRules::kBer, DerError::kNone, 4, 0x7F, 3},
    {"five length octets", {0x04, 0x85, 0, 0, 0, 0, 1}, DerRules::kBer, DerError::kBadLengthForm},
    {"reserved length octet", {0x04, 0xFF}, DerRules::kBer, DerError::kBadLengthForm},
    {"indefinite constructed under BER", {0x30, 0x80}, DerRules::kBer, DerError::kNone, 16, 0, 2, true},
    {"indefinite constructed under DER", {0x30, 0x80}, DerRules::kDer, DerError::kIndefiniteRefused},
    {"indefinite primitive", {0x04, 0x80}, DerRules::kBer, DerError::kBadLengthForm},
    {"high tag", {0xBF, 0x87, 0x68, 0x00}, DerRules::kDer, DerError::kNone, 1000, 0, 4},
    {"largest tag", {0x9F, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}, DerRules::kDer, DerError::kNone, 0xFFFFFFFF, 0, 7},
    {"tag overflow", {0x9F, 0x90, 0x80, 0x80, 0x80, 0x00, 0x00}, DerRules::kBer, DerError::kTagTooLarge},
    {"high form for a low tag", {0x1F, 0x1E, 0x00}, DerRules::kBer, DerError::kBadTagForm},
    {"leading 0x80 tag octet", {0x1F, 0x80, 0x40, 0x00}, DerRules::kBer, DerError::kBadTagForm},
};

TEST(ByteReader, DerHeadersFollowTheirRules) {
    for (const HeaderCase& c : kHeaderCases) {
        SCOPED_TRACE(c.name);
        ByteReader reader(c.bytes);
        DerHeader header;
        EXPECT_EQ(reader.ReadDerHeader(header, c.rules), c.error);
        if (c.error != DerError::kNone) {
            EXPECT_EQ(reader.Position(), 0u);
            continue;
        }
        EXPECT_EQ(header.identifier, c.bytes[0]);
        EXPECT_EQ(header.tagClass, c.bytes[0] & 0xE0);
        EXPECT_EQ(header.tag, c.tag);
        EXPECT_EQ(header.length, c.length);
        EXPECT_EQ(header.headerLength, c.headerLength);
        EXPECT_EQ(header.indefinite, c.indefinite);
        EXPECT_EQ(reader.Position(), c.headerLength);
    }
}

TEST(ByteReader, EveryTruncatedHeaderIsReportedAsTruncated) {
    for (const HeaderCase& c : kHeaderCases) {
        if (c.error != DerError::kNone) continue;
        for (size_t cut = 0; cut < c.headerLength; ++cut) {
            SCOPED_TRACE(std::string(c.name) + " cut at " + std::to_string(cut));
            ByteReader reader(c.bytes.data(), cut);
            DerHeader header;
            EXPECT_EQ(reader.ReadDerHeader(header, c.rules), DerError::kTruncated);
            EXPECT_EQ(reader.Position(), 0u);
        }
    }
}

// The short reader against the general one, over every identifier and
// length octet, a few length tails and every size up to a few content
// octets: it reads exactly what ReadDerHeader reads under BER rules when
// the tag is low, the length definite and the content present, and declines
// everything else; it never consumes anything.
TEST(ByteReader, ShortDerHeadersAreTheGeneralReadersCommonCase) {
    const Bytes tails[] = {{0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x02}, {0x01, 0x00, 0x00, 0x00},
                           {0xFF, 0xFF, 0xFF, 0xFF}, {0x03, 0x05, 0x00, 0x00}};
    for (uint32_t identifier = 0; identifier < 256; ++identifier) {
        for (uint32_t first = 0; first < 256; ++first) {
            for (const Bytes& tail : tails) {
                Bytes input = {static_cast<uint8_t>(identifier), static_cast<uint8_t>(first)};
                input.insert(input.end(), tail.begin(), tail.end());
                input.resize(input.size() + 4, 0x00);
                for (size_t size = 0; size <= input.size(); ++size) {
                    ByteReader general(input.data(), size);
                    DerHeader header;
                    bool expected = general.ReadDerHeader(header, DerRules::kBer) == DerError::kNone &&
                                    (identifier & 0x1F) != 0x1F && !header.indefinite &&
                                    header.length <= general.Remaining();
                    ByteReader reader(input.data(), size);
                    uint8_t shortIdentifier = 0;
                    uint32_t length = 0, headerLength = 0;
                    ASSERT_EQ(reader.PeekShortDerHeader(shortIdentifier, length, headerLength), expected)
                        << identifier << " " << first << " " << &tail - tails << " " << size;
                    ASSERT_EQ(reader.Position(), 0u);
                    if (!expected) continue;
                    ASSERT_EQ(shortIdentifier, header.identifier);
                    ASSERT_EQ(length, header.length);
                    ASSERT_EQ(headerLength, header.headerLength);
                }
            }
        }
    }
}

TEST(ByteReader, ElementsNeedTheirWholeDefiniteContent) {
    const Bytes twoElements = {0x30, 0x03, 0x02, 0x01, 0x05, 0x05, 0x00};
    ByteReader reader(twoElements);
    DerElement element;
    ASSERT_EQ(reader.ReadDerElement(element, DerRules::kDer), DerError::kNone);
    EXPECT_EQ(element.content.data(), twoElements.data() + 2);
    EXPECT_EQ(element.content.size(), 3u);
    EXPECT_EQ(element.whole.size(), 5u);
    ByteSpan content;
    EXPECT_FALSE(reader.ReadDerTagged(0x04, content));  // wrong identifier
    EXPECT_TRUE(reader.ReadDerTagged(0x05, content));
    EXPECT_TRUE(content.empty());
    EXPECT_TRUE(reader.AtEnd());

    // Content one byte short of its length; indefinite length under BER.
    const Bytes shortContent = {0x04, 0x03, 0x01, 0x02};
    ByteReader shortReader(shortContent);
    EXPECT_EQ(shortReader.ReadDerElement(element, DerRules::kBer), DerError::kTruncated);
    EXPECT_EQ(shortReader.Position(), 0u);
    const Bytes indefinite = {0x30, 0x80, 0x00, 0x00};
    ByteReader indefiniteReader(indefinite);
    EXPECT_EQ(indefiniteReader.ReadDerElement(element, DerRules::kBer), DerError::kIndefiniteRefused);
    EXPECT_EQ(indefiniteReader.Position(), 0u);
    // ReadDerTagged is strict: a BER-only length is refused.
    const Bytes nonMinimal = {0x04, 0x81, 0x01, 0xAA};
    ByteReader strict(nonMinimal);
    EXPECT_FALSE(strict.ReadDerTagged(0x04, content));
    EXPECT_EQ(strict.Position(), 0u);
}

Bytes Written(const ByteWriter& writer) { return Bytes(writer.Written().begin(), writer.Written().end()); }

TEST(ByteWriter, IntegersAreWrittenInTheirNamedOrder) {
    std::array<uint8_t, 30> buffer{};
    ByteWriter writer(buffer);
    ASSERT_TRUE(writer.WriteU8(0x01) && writer.WriteU16Le(0x0302) && writer.WriteU16Be(0x0405) &&
                writer.WriteU32Le(0x09080706) && writer.WriteU32Be(0x0A0B0C0D) && writer.WriteU64Le(0x1514131211100F0E) &&
                writer.WriteU64Be(0x161718191A1B1C1D));
    Bytes expected;
    for (uint8_t i = 1; i <= 0x1D; ++i) expected.push_back(i);
    EXPECT_EQ(Written(writer), expected);
    EXPECT_EQ(writer.Remaining(), 1u);
}

TEST(ByteWriter, APutThatDoesNotFitWritesNothing) {
    std::array<uint8_t, 4> buffer{};
    ByteWriter writer(buffer);
    ASSERT_TRUE(writer.WriteU8(0xAA));
    EXPECT_FALSE(writer.WriteU32Be(0x11223344));
    EXPECT_FALSE(writer.WriteBytes(Bytes{1, 2, 3, 4}));
    EXPECT_FALSE(writer.Fill(0xEE, 4));
    EXPECT_FALSE(writer.WriteDerHeader(0x00, 4, 0x100));  // needs four octets, three left
    EXPECT_EQ(buffer, (std::array<uint8_t, 4>{0xAA, 0, 0, 0}));
    EXPECT_TRUE(writer.Fill(0xEE, 3));  // exactly what is left
    EXPECT_FALSE(writer.WriteU8(0));
    EXPECT_EQ(writer.Position(), 4u);
    ByteWriter none;
    EXPECT_FALSE(none.WriteU8(0));
    EXPECT_TRUE(none.WriteBytes({}));
}

TEST(ByteWriter, DerHeadersAreMinimalAndReadBack) {
    struct Case {
        uint8_t tagClass;
        uint32_t tag;
        uint32_t length;
        Bytes expected;
    };
    const Case cases[] = {
        {0x20, 16, 0, {0x30, 0x00}},
        {0x00, 4, 0x7F, {0x04, 0x7F}},
        {0x00, 4, 0x80, {0x04, 0x81, 0x80}},
        {0x00, 4, 0x100, {0x04, 0x82, 0x01, 0x00}},
        {0x00, 4, 0xFFFFFFFF, {0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0x80, 30, 1, {0x9E, 0x01}},
        {0x80, 31, 1, {0x9F, 0x1F, 0x01}},
        {0xA0, 1000, 2, {0xBF, 0x87, 0x68, 0x02}},
        {0x80, 0xFFFFFFFF, 0, {0x9F, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        std::array<uint8_t, 16> buffer{};
        ByteWriter writer(buffer);
        ASSERT_TRUE(writer.WriteDerHeader(c.tagClass, c.tag, c.length));
        EXPECT_EQ(Written(writer), c.expected);
        EXPECT_EQ(ByteWriter::DerHeaderSize(c.tag, c.length), c.expected.size());
        ByteReader reader(writer.Written());
        DerHeader header;
        ASSERT_EQ(reader.ReadDerHeader(header, DerRules::kDer), DerError::kNone);
        EXPECT_EQ(header.tag, c.tag);
        EXPECT_EQ(header.length, c.length);
        EXPECT_EQ(header.tagClass, c.tagClass);
    }
}

}  // namespace
}  // namespace korva::platform
