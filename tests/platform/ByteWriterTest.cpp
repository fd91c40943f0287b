#include "platform/ByteWriter.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace korva::platform {
namespace {

using Bytes = std::vector<uint8_t>;

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
