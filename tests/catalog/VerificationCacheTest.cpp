#include "catalog/VerificationCache.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/common/AllocationFaults.h"
#include "toolkit/KeyObject.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace tk = korva::toolkit;
using Bytes = std::vector<uint8_t>;

// A check answers only for exactly the key and encoding it was kept under,
// and only a definite outcome is kept: any other may come from a passing
// lack of memory or context. Kinds never answer for one another.
TEST(VerificationCacheTest, AnswersOnlyTheSameQuestionWithADefiniteOutcome) {
    const Bytes spki(294, 0x30), other(294, 0x31), der(900, 0x42), shorter(899, 0x42);
    struct Case { tk::Status kept; const Bytes& key; const Bytes& encoding; bool found; };
    const Case cases[] = {
        {tk::kOk, spki, der, true},  {tk::kSignatureMismatch, spki, der, true},
        {tk::kOk, other, der, false}, {tk::kOk, spki, shorter, false}, {tk::kOk, der, spki, false},
        {tk::kOutOfMemory, spki, der, false}, {tk::kCoreOutOfMemory, spki, der, false},
        {tk::kSignatureUncheckable, spki, der, false},
    };
    for (const Case& c : cases) {
        CVerificationCache cache;
        cache.KeepCheck(spki, der, c.kept);
        tk::Status status = 1;
        EXPECT_EQ(cache.FindCheck(c.key, c.encoding, status), c.found) << c.kept;
        EXPECT_EQ(status, c.found ? c.kept : 1) << c.kept;
        EXPECT_TRUE(cache.FindCanonical(der).empty());
        EXPECT_EQ(cache.FindKey(spki), nullptr);
    }
}

// Bounded by entries and bytes; a key it refuses stays the caller's.
TEST(VerificationCacheTest, StopsKeepingWhenFull) {
    CVerificationCache cache;
    for (uint32_t i = 0; i <= CVerificationCache::kMaxEntries; ++i) {
        tk::KeyObject* key = nullptr;
        ASSERT_EQ(tk::KeyObjectCreate(&key), tk::kOk);
        bool kept = cache.KeepKey(Bytes{static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)}, key);
        EXPECT_EQ(kept, i < CVerificationCache::kMaxEntries);
        if (!kept) tk::KeyObjectFree(&key);
    }
    const Bytes large(CVerificationCache::kMaxBytes + 1, 2);
    CVerificationCache bytes;
    bytes.KeepCanonical(large, Bytes(20, 3));
    EXPECT_TRUE(bytes.FindCanonical(large).empty());
}

// Without memory it keeps nothing, never answers wrongly and leaks nothing.
TEST(VerificationCacheTest, AllocationFailuresOnlyLoseEntries) {
    korva::test_support::SweepAllocationFailures([](uint64_t) {
        CVerificationCache cache;
        cache.KeepCanonical(Bytes(16, 2), Bytes(20, 3));
        auto sha1 = cache.FindCanonical(Bytes(16, 2));
        EXPECT_TRUE(sha1.empty() || Bytes(sha1.begin(), sha1.end()) == Bytes(20, 3));
    });
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
