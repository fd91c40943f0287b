#include <gtest/gtest.h>

#include "tests/crypto/TestKeys.h"
#include "tests/crypto/TestSupport.h"
#include "tests/common/AllocationFaults.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/KeyObject.h"

namespace korva::toolkit {
namespace {

using crypto::test::Bytes;
using crypto::test::FromHex;

using korva::test::Concat;

Bytes ToBytes(const void* info) {
    const auto* bytes = static_cast<const KeyBytes*>(info);
    return Bytes(bytes->data, bytes->data + bytes->length);
}

KeyBytes View(const Bytes& bytes) {
    return KeyBytes{bytes.data(), static_cast<uint32_t>(bytes.size())};
}

// The 2048-bit test key (e = 3) in its three encodings, written out by hand.
const Bytes kModulus = FromHex(crypto::test::kE3Modulus);
const Bytes kRsaPublicKey = Concat({FromHex("308201080282010100"), kModulus, FromHex("020103")});
const Bytes kSpki = Concat({FromHex("30820120300d06092a864886f70d01010105000382010d00"), kRsaPublicKey});
const Bytes kExponent = {3};

class KeyObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(KeyObjectCreate(&key_), kOk);
        ASSERT_EQ(KeyObjectCreate(&other_), kOk);
    }
    void TearDown() override {
        KeyObjectFree(&key_);
        KeyObjectFree(&other_);
    }
    // Sets `key` from the test key's encoding in `format`.
    Status Set(KeyObject* key, uint32_t format) {
        const KeyBytes spki = View(kSpki);
        const KeyBytes rsaPublicKey = View(kRsaPublicKey);
        const RsaKeyNumbers numbers{View(kModulus), View(kExponent)};
        const void* info[] = {nullptr, &spki, &rsaPublicKey, &numbers};
        return KeyObjectSetInfo(key, format, info[format]);
    }
    // Expects `key` to give the test key in all three formats.
    void ExpectTestKey(const KeyObject* key) {
        const void* info = nullptr;
        ASSERT_EQ(KeyObjectGetInfo(&info, key, kKeyFormatRsaSpki), kOk);
        EXPECT_EQ(ToBytes(info), kSpki);
        ASSERT_EQ(KeyObjectGetInfo(&info, key, kKeyFormatRsaPublicKey), kOk);
        EXPECT_EQ(ToBytes(info), kRsaPublicKey);
        ASSERT_EQ(KeyObjectGetInfo(&info, key, kKeyFormatRsaNumbers), kOk);
        EXPECT_EQ(ToBytes(&static_cast<const RsaKeyNumbers*>(info)->modulus), kModulus);
        EXPECT_EQ(ToBytes(&static_cast<const RsaKeyNumbers*>(info)->exponent), kExponent);
    }
    KeyObject* key_ = nullptr;
    KeyObject* other_ = nullptr;
};

TEST_F(KeyObjectTest, EveryFormatGivesTheSameKeyInEveryFormat) {
    for (uint32_t format : {kKeyFormatRsaSpki, kKeyFormatRsaPublicKey, kKeyFormatRsaNumbers}) {
        KeyObject* key = nullptr;
        ASSERT_EQ(KeyObjectCreate(&key), kOk);
        ASSERT_EQ(Set(key, format), kOk) << format;
        ExpectTestKey(key);
        KeyObjectFree(&key);
        EXPECT_EQ(key, nullptr);
    }
    // Numbers with leading zeros are normalised.
    const Bytes paddedModulus = Concat({{0, 0}, kModulus});
    const Bytes paddedExponent = {0, 3};
    const RsaKeyNumbers numbers{View(paddedModulus), View(paddedExponent)};
    ASSERT_EQ(KeyObjectSetInfo(key_, kKeyFormatRsaNumbers, &numbers), kOk);
    ExpectTestKey(key_);
    // A key holds one format; the same format replaces it.
    EXPECT_EQ(Set(key_, kKeyFormatRsaSpki), kCoreKeyHoldsOtherFormat);
    EXPECT_EQ(Set(key_, kKeyFormatRsaNumbers), kOk);
    const void* info = nullptr;
    EXPECT_EQ(KeyObjectGetInfo(&info, key_, kKeyFormatDsa), kCoreKeyFormatNotApplicable);
    EXPECT_EQ(KeyObjectGetInfo(nullptr, key_, kKeyFormatRsaSpki), kCoreInputMissing);
    EXPECT_EQ(KeyObjectGetInfo(&info, other_, kKeyFormatRsaSpki), kCoreDataMissing);  // empty
}

TEST_F(KeyObjectTest, RefusedInformation) {
    struct Case {
        const char* what;
        uint32_t format;
        Bytes der;
        Status expected;
    };
    const Case cases[] = {
        {"dsa algorithm", kKeyFormatRsaSpki, Concat({FromHex("3082011c300906072a8648ce3804010382010d00"), kRsaPublicKey}),
         kCoreKeyFormatNotApplicable},
        {"rsa with bad parameters", kKeyFormatRsaSpki,
         Concat({FromHex("30820121300e06092a864886f70d0101010201000382010d00"), kRsaPublicKey}), kCoreBadValue},
        {"trailing octet", kKeyFormatRsaPublicKey, Concat({kRsaPublicKey, {0}}), kCoreBadValue},
        {"truncated", kKeyFormatRsaPublicKey, Bytes(kRsaPublicKey.begin(), kRsaPublicKey.end() - 1), kCoreBadValue},
        {"negative modulus", kKeyFormatRsaPublicKey, Concat({FromHex("30820107028201"), {0x00}, kModulus, FromHex("020103")}),
         kCoreBadValue},
        {"non-minimal exponent", kKeyFormatRsaPublicKey,
         Concat({FromHex("308201090282010100"), kModulus, FromHex("02020003")}), kCoreBadValue},
        {"long form for a short length", kKeyFormatRsaPublicKey, FromHex("308106020105020103"), kCoreBadValue},
        {"unused bits", kKeyFormatRsaSpki, Concat({FromHex("30820120300d06092a864886f70d01010105000382010d01"), kRsaPublicKey}),
         kCoreBadValue},
        {"empty", kKeyFormatRsaPublicKey, {}, kCoreInputMissing},
        {"even modulus", kKeyFormatRsaPublicKey,
         Concat({FromHex("308201080282010100"), Bytes(kModulus.begin(), kModulus.end() - 1), {0x10}, FromHex("020103")}),
         kCoreKeyUnusable},
        {"256-bit modulus", kKeyFormatRsaPublicKey,
         Concat({FromHex("30250220"), Bytes(31, 0x11), {0x01}, FromHex("020103")}), kCoreKeyUnusable},
        {"exponent 1", kKeyFormatRsaPublicKey, Concat({FromHex("308201080282010100"), kModulus, FromHex("020101")}),
         kCoreKeyUnusable},
    };
    for (const Case& c : cases) {
        const KeyBytes info = View(c.der);
        EXPECT_EQ(KeyObjectSetInfo(key_, c.format, &info), c.expected) << c.what;
        const void* got = nullptr;
        EXPECT_EQ(KeyObjectGetInfo(&got, key_, c.format), kCoreDataMissing) << c.what;  // still empty
    }
    EXPECT_EQ(KeyObjectSetInfo(key_, kKeyFormatRsaSpki, nullptr), kCoreInputMissing);
    // The DSA formats and unknown ones never apply.
    const KeyBytes spki = View(kSpki);
    for (uint32_t format : {kKeyFormatNone, kKeyFormatDsaOiw, kKeyFormatDsa, 6u, 0xFFu}) {
        EXPECT_EQ(KeyObjectSetInfo(key_, format, &spki), kCoreKeyFormatNotApplicable) << format;
    }
}

TEST_F(KeyObjectTest, CopyTakesTheFirstFormatTheDestinationAccepts) {
    EXPECT_EQ(KeyObjectCopy(other_, key_), kUnsupportedKeyFormat);  // an empty source gives nothing
    ASSERT_EQ(Set(key_, kKeyFormatRsaNumbers), kOk);
    ASSERT_EQ(KeyObjectCopy(other_, key_), kOk);
    ExpectTestKey(other_);
    EXPECT_EQ(KeyObjectCopy(other_, nullptr), kCoreInvalidKey);
    EXPECT_EQ(KeyObjectCopy(nullptr, key_), kCoreInvalidKey);

    // A destination holding the second format refuses the first and takes the second.
    KeyObject* dest = nullptr;
    ASSERT_EQ(KeyObjectCreate(&dest), kOk);
    ASSERT_EQ(Set(dest, kKeyFormatRsaPublicKey), kOk);
    ASSERT_EQ(KeyObjectCopy(dest, key_), kOk);
    // A copy outlives its source.
    KeyObjectFree(&key_);
    ExpectTestKey(dest);
    KeyObjectFree(&dest);

    uint64_t allocations = test_support::SweepAllocationFailures([&](uint64_t failing) {
        KeyObject* copy = nullptr;
        Status status = StatusTranslate(KeyObjectCreate(&copy));
        if (status == kOk) status = KeyObjectCopy(copy, other_);
        KeyObjectFree(&copy);
        EXPECT_EQ(status, failing == 0 ? kOk : kOutOfMemory);
    });
    EXPECT_EQ(allocations, 2u);
}

}  // namespace
}  // namespace korva::toolkit
