#include "toolkit/DerHeader.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/MemoryService.h"
#include "tests/common/AllocationFaults.h"

namespace korva::toolkit {
namespace {

using Bytes = std::vector<uint8_t>;

struct DecodeRow {
    const char* name;
    Bytes input;
    Status status;
    uint32_t tag, tagClass, headerLength, len;
};

TEST(DecodeHeader, DecodesEveryFormAndRefusesBadOnes) {
    const DecodeRow rows[] = {
        {"short form", {0x04, 0x02, 0xAA, 0xBB, 0xFF}, kOk, 4, 0x00, 2, 2},
        {"long form, one octet", Bytes{0x30, 0x81, 0x01, 0x05}, kOk, 16, 0x20, 3, 1},
        {"long form, leading zeros allowed", {0x30, 0x82, 0x00, 0x00}, kOk, 16, 0x20, 4, 0},
        {"high tag, two octets", {0xBF, 0x81, 0x00, 0x00}, kOk, 128, 0xA0, 4, 0},
        {"private primitive", {0xC1, 0x00}, kOk, 1, 0xC0, 2, 0},
        {"indefinite with children", {0x30, 0x80, 0x05, 0x00, 0x02, 0x01, 0x07, 0x00, 0x00, 0x99}, kOk, 16, 0x220, 2, 5},
        {"nested indefinite", {0xA0, 0x80, 0x30, 0x80, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}, kOk, 0, 0x2A0, 2, 6},
        {"indefinite, empty", {0x31, 0x80, 0x00, 0x00}, kOk, 17, 0x220, 2, 0},
        {"empty input", {}, kInputTruncated},
        {"one octet", {0x30}, kInputTruncated},
        {"high tag cut off", {0x1F, 0x81}, kInputTruncated},
        {"length octets cut off", {0x04, 0x82, 0x01}, kInputTruncated},
        {"content cut off", {0x04, 0x03, 0x01, 0x02}, kInputTruncated},
        {"indefinite primitive", {0x04, 0x80, 0x00, 0x00}, kInputMissing},
        {"five length octets", {0x30, 0x85, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}, kInputMissing},
        {"reserved length octet", {0x30, 0xFF}, kInputMissing},
        {"tag beyond 32 bits", {0x1F, 0x90, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00}, kMalformedEncoding},
        {"indefinite without end", {0x30, 0x80, 0x05, 0x00}, kMalformedEncoding},
        {"indefinite, child runs off", {0x30, 0x80, 0x04, 0x05, 0x00, 0x00}, kMalformedEncoding},
        {"indefinite, inner one unclosed", {0x30, 0x80, 0x30, 0x80, 0x00, 0x00}, kMalformedEncoding},
    };
    for (const DecodeRow& row : rows) {
        SCOPED_TRACE(row.name);
        uint32_t tag = 0xDEAD, tagClass = 0, len = 0;
        const uint8_t* value = nullptr;
        const uint8_t none = 0;
        const uint8_t* input = row.input.empty() ? &none : row.input.data();
        ASSERT_EQ(DecodeHeader(nullptr, input, static_cast<uint32_t>(row.input.size()), &tag, &tagClass, &value, &len),
                  row.status);
        if (row.status != kOk) continue;
        EXPECT_EQ(tag, row.tag);
        EXPECT_EQ(tagClass, row.tagClass);
        EXPECT_EQ(value, row.input.data() + row.headerLength);
        EXPECT_EQ(len, row.len);
    }
}

TEST(DecodeHeader, RefusesEveryMissingArgument) {
    const uint8_t input[] = {0x05, 0x00};
    uint32_t tag, tagClass, len;
    const uint8_t* value;
    EXPECT_EQ(DecodeHeader(nullptr, nullptr, 2, &tag, &tagClass, &value, &len), kInvalidArgument);
    EXPECT_EQ(DecodeHeader(nullptr, input, 2, nullptr, &tagClass, &value, &len), kInvalidArgument);
    EXPECT_EQ(DecodeHeader(nullptr, input, 2, &tag, nullptr, &value, &len), kInvalidArgument);
    EXPECT_EQ(DecodeHeader(nullptr, input, 2, &tag, &tagClass, nullptr, &len), kInvalidArgument);
    EXPECT_EQ(DecodeHeader(nullptr, input, 2, &tag, &tagClass, &value, nullptr), kInvalidArgument);
}

TEST(DecodeHeader, WalksDeepIndefiniteNestingWithoutRecursion) {
    constexpr size_t kDepth = 200000;
    Bytes input;
    for (size_t i = 0; i < kDepth; ++i) input.insert(input.end(), {0x30, 0x80});
    input.resize(input.size() + 2 * kDepth, 0x00);
    ElementHeader header;
    ASSERT_EQ(DecodeElementHeader(nullptr, input, header), kOk);
    EXPECT_EQ(header.len, input.size() - 4);
}

struct EncodeRow {
    const char* name;
    uint32_t tag, tagClass;
    Bytes value;
    Status status;
    Bytes expected;
};

TEST(EncodeHeader, EncodesAndRoundTrips) {
    const Bytes big(300, 0x5A);
    Bytes bigExpected = {0x04, 0x82, 0x01, 0x2C};
    bigExpected.insert(bigExpected.end(), big.begin(), big.end());
    const EncodeRow rows[] = {
        {"NULL", 5, 0x00, {}, kOk, {0x05, 0x00}},
        {"SEQUENCE gets constructed", 16, 0x00, {0x05, 0x00}, kOk, {0x30, 0x02, 0x05, 0x00}},
        {"SET, EXTERNAL, EMBEDDED PDV, CHARACTER STRING", 29, 0x00, {}, kOk, {0x3D, 0x00}},
        {"long length", 4, 0x00, big, kOk, bigExpected},
        {"context high tag", 200, 0x80, {0x01}, kOk, {0x9F, 0x81, 0x48, 0x01, 0x01}},
        {"bit 0x100 accepted", 2, 0x100, {0x00}, kOk, {0x02, 0x01, 0x00}},
        {"universal tag 0", 0, 0x00, {}, kInvalidArgument, {}},
        {"universal tag 31", 31, 0x00, {}, kInvalidArgument, {}},
        {"indefinite bit", 16, 0x220, {}, kInvalidArgument, {}},
    };
    for (const EncodeRow& row : rows) {
        SCOPED_TRACE(row.name);
        uint8_t out[400] = {};
        uint32_t outLen = 0;
        ASSERT_EQ(EncodeHeader(nullptr, row.tag, row.tagClass, row.value.data(), static_cast<uint32_t>(row.value.size()),
                               sizeof(out), out, &outLen),
                  row.status);
        if (row.status != kOk) continue;
        ASSERT_EQ(Bytes(out, out + outLen), row.expected);
        uint32_t tag = 0, tagClass = 0, len = 0;
        const uint8_t* value = nullptr;
        ASSERT_EQ(DecodeHeader(nullptr, out, outLen, &tag, &tagClass, &value, &len), kOk);
        EXPECT_EQ(tag, row.tag);
        EXPECT_EQ(Bytes(value, value + len), row.value);
    }
}

TEST(EncodeHeader, QueriesSizeAndRefusesShortOutput) {
    const uint8_t value[] = {1, 2, 3};
    uint32_t size = 0;
    ASSERT_EQ(EncodeHeader(nullptr, 4, 0, value, 3, 0, nullptr, &size), kOk);
    EXPECT_EQ(size, 5u);
    uint8_t out[4];
    EXPECT_EQ(EncodeHeader(nullptr, 4, 0, value, 3, sizeof(out), out, &size), kInputTruncated);
    EXPECT_EQ(EncodeHeader(nullptr, 4, 0, value, 3, sizeof(out), out, nullptr), kInvalidArgument);
    EXPECT_EQ(EncodeHeader(nullptr, 4, 0, nullptr, 3, sizeof(out), out, &size), kInvalidArgument);
}

TEST(EncodeToNew, WrapsPrimitiveValuesOnly) {
    const uint8_t content[] = {0x2A, 0x03};
    uint8_t* der = const_cast<uint8_t*>(content);
    uint32_t len = sizeof(content);
    ASSERT_EQ(EncodeToNew(nullptr, 6, 0, &der, &len), kOk);
    EXPECT_EQ(Bytes(der, der + len), (Bytes{0x06, 0x02, 0x2A, 0x03}));
    TarnVerifyTrustDriver::FreeBuffer(der);

    der = nullptr;
    len = 0;
    EXPECT_EQ(EncodeToNew(nullptr, 16, 0, &der, &len), kInvalidArgument);  // SEQUENCE is constructed
    EXPECT_EQ(EncodeToNew(nullptr, 1, 0xA0, &der, &len), kInvalidArgument);
    EXPECT_EQ(EncodeToNew(nullptr, 5, 0, nullptr, &len), kInvalidArgument);
    EXPECT_EQ(der, nullptr);

    test_support::AllocationFaults faults;
    faults.FailAt(1);
    EXPECT_EQ(EncodeToNew(nullptr, 5, 0, &der, &len), kOutOfMemory);
    EXPECT_EQ(der, nullptr);
    EXPECT_EQ(faults.liveBlocks(), 0u);
}

}  // namespace
}  // namespace korva::toolkit
