#include "toolkit/DerHeader.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/MemoryService.h"
#include "tests/common/AllocationFaults.h"

namespace korva::toolkit {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(DecodeHeader, DecodesEveryFormAndRefusesBadOnes) {
    struct Row {
        Bytes input;
        Status status;
        uint32_t tag, tagClass, headerLength, len;
    } const rows[] = {
        {{0x04, 0x02, 0xAA, 0xBB, 0xFF}, kOk, 4, 0x00, 2, 2},
        {{0x30, 0x82, 0x00, 0x01, 0x05}, kOk, 16, 0x20, 4, 1},  // long form, leading zero allowed
        {{0xBF, 0x81, 0x00, 0x00}, kOk, 128, 0xA0, 4, 0},       // high tag
        {{0x30, 0x80, 0x05, 0x00, 0x02, 0x01, 0x07, 0x00, 0x00, 0x99}, kOk, 16, 0x220, 2, 5},
        {{0xA0, 0x80, 0x30, 0x80, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}, kOk, 0, 0x2A0, 2, 6},
        {{}, kInputTruncated},
        {{0x1F, 0x81}, kInputTruncated},
        {{0x04, 0x82, 0x01}, kInputTruncated},
        {{0x04, 0x03, 0x01, 0x02}, kInputTruncated},
        {{0x04, 0x80, 0x00, 0x00}, kInputMissing},  // indefinite primitive
        {{0x30, 0x85, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}, kInputMissing},
        {{0x1F, 0x90, 0x80, 0x80, 0x80, 0x80, 0x00, 0x00}, kMalformedEncoding},  // tag beyond 32 bits
        {{0x30, 0x80, 0x04, 0x05, 0x00, 0x00}, kMalformedEncoding},              // a child runs off
        {{0x30, 0x80, 0x30, 0x80, 0x00, 0x00}, kMalformedEncoding},              // inner level unclosed
    };
    for (const Row& row : rows) {
        uint32_t tag = 0, tagClass = 0, len = 0;
        const uint8_t* value = nullptr;
        static const uint8_t kNone = 0;
        const uint8_t* input = row.input.empty() ? &kNone : row.input.data();  // never null
        Status status =
            DecodeHeader(nullptr, input, static_cast<uint32_t>(row.input.size()), &tag, &tagClass, &value, &len);
        ASSERT_EQ(status, row.status) << ::testing::PrintToString(row.input);
        if (status != kOk) continue;
        EXPECT_EQ(std::vector<uint32_t>({tag, tagClass, len}), std::vector<uint32_t>({row.tag, row.tagClass, row.len}));
        EXPECT_EQ(value, row.input.data() + row.headerLength);
    }
    uint32_t word;
    const uint8_t* value;
    const uint8_t input[] = {0x05, 0x00};
    for (int missing = 0; missing < 5; ++missing) {
        EXPECT_EQ(DecodeHeader(nullptr, missing == 0 ? nullptr : input, 2, missing == 1 ? nullptr : &word,
                               missing == 2 ? nullptr : &word, missing == 3 ? nullptr : &value,
                               missing == 4 ? nullptr : &word),
                  kInvalidArgument);
    }
}

TEST(EncodeHeader, EncodesWhatDecodeHeaderReadsBack) {
    const Bytes big(300, 0x5A);
    struct Row {
        uint32_t tag, tagClass;
        Bytes value;
        Status status;
        Bytes header;
    } const rows[] = {
        {5, 0x00, {}, kOk, {0x05, 0x00}},
        {16, 0x00, {0x05, 0x00}, kOk, {0x30, 0x02}},  // SEQUENCE is always constructed
        {29, 0x00, {}, kOk, {0x3D, 0x00}},
        {4, 0x00, big, kOk, {0x04, 0x82, 0x01, 0x2C}},
        {200, 0x80, {0x01}, kOk, {0x9F, 0x81, 0x48, 0x01}},
        {2, 0x100, {0x00}, kOk, {0x02, 0x01}},
        {0, 0x00, {}, kInvalidArgument},
        {31, 0x00, {}, kInvalidArgument},
        {16, 0x220, {}, kInvalidArgument},
    };
    for (const Row& row : rows) {
        uint8_t out[400] = {};
        uint32_t outLen = 0;
        ASSERT_EQ(EncodeHeader(nullptr, row.tag, row.tagClass, row.value.data(), static_cast<uint32_t>(row.value.size()),
                               sizeof(out), out, &outLen),
                  row.status);
        if (row.status != kOk) continue;
        Bytes expected = row.header;
        expected.insert(expected.end(), row.value.begin(), row.value.end());
        EXPECT_EQ(Bytes(out, out + outLen), expected);
    }
    uint32_t size = 0;
    uint8_t out[4];
    EXPECT_EQ(EncodeHeader(nullptr, 4, 0, big.data(), 3, 0, nullptr, &size), kOk);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(EncodeHeader(nullptr, 4, 0, big.data(), 3, sizeof(out), out, &size), kInputTruncated);
    EXPECT_EQ(EncodeHeader(nullptr, 4, 0, nullptr, 3, sizeof(out), out, &size), kInvalidArgument);
}

TEST(EncodeToNew, WrapsPrimitiveValuesInANewBlock) {
    const uint8_t content[] = {0x2A, 0x03};
    uint8_t* der = const_cast<uint8_t*>(content);
    uint32_t len = sizeof(content);
    ASSERT_EQ(EncodeToNew(nullptr, 6, 0, &der, &len), kOk);
    EXPECT_EQ(Bytes(der, der + len), (Bytes{0x06, 0x02, 0x2A, 0x03}));
    TarnVerifyTrustDriver::FreeBuffer(der);
    der = nullptr;
    EXPECT_EQ(EncodeToNew(nullptr, 16, 0, &der, &len), kInvalidArgument);
    EXPECT_EQ(EncodeToNew(nullptr, 1, 0xA0, &der, &len), kInvalidArgument);
    test_support::AllocationFaults faults;
    faults.FailAt(1);
    len = 0;
    EXPECT_EQ(EncodeToNew(nullptr, 5, 0, &der, &len), kOutOfMemory);
    EXPECT_EQ(der, nullptr);
}

}  // namespace
}  // namespace korva::toolkit
