#include <gtest/gtest.h>
#include <cstring>

#include "tests/crypto/TestKeys.h"
#include "tests/crypto/TestSupport.h"
#include "tests/common/AllocationFaults.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/AlgorithmObject.h"
#include "toolkit/crypto/Rsa.h"

namespace korva::toolkit {
namespace {

using crypto::test::Bytes;
using crypto::test::FromHex;
using crypto::test::SignWithTestKey;
using crypto::test::ToHex;
using crypto::test::Type1Block;

class AlgorithmTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(AlgorithmCreate(&alg_), kOk); }
    void TearDown() override { AlgorithmFree(&alg_); }
    AlgorithmObject* alg_ = nullptr;
};

TEST_F(AlgorithmTest, DigestsOfAbcInPieces) {
    struct Row {
        uint32_t type;
        const char* digest;
    };
    const Row rows[] = {
        {kAlgorithmMd2, "da853b0d3f88d99b30283a69e6ded6bb"},
        {kAlgorithmMd5, "900150983cd24fb0d6963f7d28e17f72"},
        {kAlgorithmSha1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {kAlgorithmSha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {kAlgorithmSha384, "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
        {kAlgorithmSha512, "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
                           "454d4423643ce80e2a9ac94fa54ca49f"},
    };
    const uint8_t abc[] = {'a', 'b', 'c'};
    for (const Row& row : rows) {
        ASSERT_EQ(AlgorithmSetInfo(alg_, row.type, nullptr), kOk);
        const AlgorithmInfo* info = nullptr;
        ASSERT_EQ(AlgorithmGetInfo(&info, alg_, row.type), kOk);
        EXPECT_EQ(info->outputLength * 2, std::strlen(row.digest));
        ASSERT_EQ(DigestInit(alg_, nullptr, nullptr, nullptr), kOk);
        // Twice, to show that Final starts a new message.
        for (int round = 0; round < 2; ++round) {
            ASSERT_EQ(DigestUpdate(alg_, abc, 1, nullptr), kOk);
            ASSERT_EQ(DigestUpdate(alg_, nullptr, 0, nullptr), kOk);
            ASSERT_EQ(DigestUpdate(alg_, abc + 1, 2, nullptr), kOk);
            uint8_t out[64];
            uint32_t length = 0;
            ASSERT_EQ(DigestFinal(alg_, out, &length, sizeof out, nullptr), kOk);
            EXPECT_EQ(ToHex(out, length), row.digest) << row.type;
        }
    }
}

TEST_F(AlgorithmTest, InformationTypesAndModes) {
    const AlgorithmInfo* info = nullptr;
    EXPECT_EQ(AlgorithmGetInfo(&info, alg_, kAlgorithmSha1), kCoreInfoTypeNotApplicable);  // nothing set yet
    EXPECT_EQ(AlgorithmSetInfo(alg_, 99, nullptr), kCoreInfoTypeNotApplicable);
    EXPECT_EQ(AlgorithmSetInfo(alg_, kAlgorithmSha1, &info), kCoreInfoTypeNotApplicable);  // takes no parameters
    ASSERT_EQ(AlgorithmSetInfo(alg_, kAlgorithmSha1, nullptr), kOk);
    EXPECT_EQ(AlgorithmGetInfo(&info, alg_, kAlgorithmSha256), kCoreInfoTypeNotApplicable);
    EXPECT_EQ(AlgorithmGetInfo(nullptr, alg_, kAlgorithmSha1), kCoreInputMissing);

    // Not initialised: the object is not a digest in progress.
    uint8_t out[64];
    uint32_t length = 0;
    EXPECT_EQ(DigestUpdate(alg_, out, 1, nullptr), kCoreInvalidAlgorithm);
    EXPECT_EQ(DigestFinal(alg_, out, &length, sizeof out, nullptr), kCoreInvalidAlgorithm);

    // Only the algorithms of the given set may be initialised.
    const AlgorithmInfo onlySha256[] = {{kAlgorithmSha256, 32}};
    const AlgorithmSet set{onlySha256, 1};
    EXPECT_EQ(DigestInit(alg_, nullptr, &set, nullptr), kCoreInfoTypeNotApplicable);
    ASSERT_EQ(DigestInit(alg_, nullptr, &kCoreAlgorithms, nullptr), kOk);
    EXPECT_EQ(DigestFinal(alg_, out, &length, 19, nullptr), kCoreOutputTooSmall);
    EXPECT_EQ(DigestUpdate(alg_, nullptr, 1, nullptr), kCoreInputMissing);

    // Naming another algorithm ends the digest.
    ASSERT_EQ(AlgorithmSetInfo(alg_, kAlgorithmSha256, nullptr), kOk);
    EXPECT_EQ(DigestUpdate(alg_, out, 1, nullptr), kCoreInvalidAlgorithm);

    // A digest with a key, or of a non-digest, does not apply.
    KeyObject* key = nullptr;
    ASSERT_EQ(KeyObjectCreate(&key), kOk);
    EXPECT_EQ(DigestInit(alg_, key, nullptr, nullptr), kCoreInfoTypeNotApplicable);
    KeyObjectFree(&key);
    ASSERT_EQ(AlgorithmSetInfo(alg_, kAlgorithmRsaPublicPkcs1, nullptr), kOk);
    EXPECT_EQ(DigestInit(alg_, nullptr, nullptr, nullptr), kCoreInfoTypeNotApplicable);
}

// The RSA public operation against the 2048-bit test key, whose private
// exponent signs whatever block a test needs.
class KeyOpTest : public AlgorithmTest {
protected:
    void SetUp() override {
        AlgorithmTest::SetUp();
        const Bytes modulus = FromHex(crypto::test::kE3Modulus);
        const uint8_t three = 3;
        const RsaKeyNumbers numbers{{modulus.data(), uint32_t(modulus.size())}, {&three, 1}};
        ASSERT_EQ(KeyObjectCreate(&key_), kOk);
        ASSERT_EQ(KeyObjectSetInfo(key_, kKeyFormatRsaNumbers, &numbers), kOk);
        ASSERT_EQ(AlgorithmSetInfo(alg_, kAlgorithmRsaPublicPkcs1, nullptr), kOk);
        ASSERT_EQ(KeyOpInit(alg_, key_, nullptr, nullptr), kOk);
    }
    void TearDown() override {
        KeyObjectFree(&key_);
        AlgorithmTest::TearDown();
    }
    Bytes Payload() { return FromHex("3021300906052b0e03021a05000414a9993e364706816aba3e25717850c26c9cd0d89d"); }

    KeyObject* key_ = nullptr;
};

TEST_F(KeyOpTest, OpensASignatureFedInPieces) {
    const Bytes signature = SignWithTestKey(Type1Block(Payload()));
    KeyObjectFree(&key_);  // init kept a copy of its own
    uint8_t out[512];
    uint32_t length = 99;
    // Nothing comes out until the block is whole.
    ASSERT_EQ(KeyOpUpdate(alg_, out, &length, sizeof out, signature.data(), 100, nullptr, nullptr), kOk);
    EXPECT_EQ(length, 0u);
    ASSERT_EQ(KeyOpUpdate(alg_, out, &length, sizeof out, signature.data() + 100, 156, alg_, nullptr), kOk);
    EXPECT_EQ(Bytes(out, out + length), Payload());
    ASSERT_EQ(KeyOpFinal(alg_, out, &length, sizeof out, nullptr, nullptr), kOk);
    EXPECT_EQ(length, 0u);
}

TEST_F(KeyOpTest, RefusesBadBlocksShortOutputAndPartialInput) {
    uint8_t out[256];
    uint32_t length = 0;
    const Bytes sevenFf = SignWithTestKey(Type1Block(Bytes(256 - 3 - 7, 0x42), 7));  // fewer than eight FF octets
    EXPECT_EQ(KeyOpUpdate(alg_, out, &length, sizeof out, sevenFf.data(), 256, nullptr, nullptr), kCoreBadSignatureBlock);
    const Bytes good = SignWithTestKey(Type1Block(Payload()));
    EXPECT_EQ(KeyOpUpdate(alg_, out, &length, 34, good.data(), 256, nullptr, nullptr), kCoreOutputTooSmall);
    EXPECT_EQ(KeyOpUpdate(alg_, out, &length, 35, good.data(), 256, nullptr, nullptr), kOk);
    ASSERT_EQ(KeyOpUpdate(alg_, out, &length, sizeof out, good.data(), 255, nullptr, nullptr), kOk);
    EXPECT_EQ(KeyOpFinal(alg_, out, &length, sizeof out, nullptr, nullptr), kCoreInputTruncated);
    // The partial block was dropped: the next operation starts clean.
    EXPECT_EQ(KeyOpUpdate(alg_, out, &length, sizeof out, good.data(), 256, nullptr, nullptr), kOk);
    EXPECT_EQ(length, 35u);
}

TEST_F(KeyOpTest, InitChecksKeyAndAlgorithm) {
    KeyObject* empty = nullptr;
    ASSERT_EQ(KeyObjectCreate(&empty), kOk);
    EXPECT_EQ(KeyOpInit(alg_, empty, nullptr, nullptr), kCoreKeyFormatNotApplicable);
    EXPECT_EQ(KeyOpInit(alg_, nullptr, nullptr, nullptr), kCoreInvalidKey);
    const AlgorithmInfo onlySha1[] = {{kAlgorithmSha1, 20}};
    const AlgorithmSet set{onlySha1, 1};
    EXPECT_EQ(KeyOpInit(alg_, key_, &set, nullptr), kCoreInfoTypeNotApplicable);
    ASSERT_EQ(AlgorithmSetInfo(alg_, kAlgorithmSha1, nullptr), kOk);
    EXPECT_EQ(KeyOpInit(alg_, key_, nullptr, nullptr), kCoreInfoTypeNotApplicable);
    uint32_t length = 0;
    EXPECT_EQ(KeyOpFinal(alg_, nullptr, &length, 0, nullptr, nullptr), kCoreInvalidAlgorithm);  // not started
    KeyObjectFree(&empty);
}

TEST(AlgorithmAllocation, FailuresComeOutAs518WithNothingLeft) {
    test_support::SweepAllocationFailures([](uint64_t failing) {
        AlgorithmObject* alg = nullptr;
        Status status = AlgorithmCreate(&alg);
        if (status == kOk) status = AlgorithmSetInfo(alg, kAlgorithmSha256, nullptr);
        if (status == kOk) status = DigestInit(alg, nullptr, nullptr, nullptr);
        AlgorithmFree(&alg);
        EXPECT_EQ(status, failing == 0 ? kOk : kCoreOutOfMemory);
    });
}

}  // namespace
}  // namespace korva::toolkit
