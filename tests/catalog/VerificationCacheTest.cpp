#include "catalog/VerificationCache.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/common/AllocationFaults.h"
#include "toolkit/KeyObject.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace tk = korva::toolkit;
using Bytes = std::vector<uint8_t>;

Bytes Filled(size_t size, uint8_t fill) { return Bytes(size, fill); }

// Each kind answers only for exactly the bytes it was given: another key,
// another encoding, a prefix or a swap of the two strings is another question.
TEST(VerificationCacheTest, AnswersOnlyTheSameQuestion) {
    CVerificationCache cache;
    const Bytes spki = Filled(294, 0x30), other = Filled(294, 0x31), der = Filled(900, 0x42);
    const Bytes shorter(der.begin(), der.end() - 1);
    cache.KeepCheck(spki, der, tk::kOk);
    cache.KeepCheck(other, der, tk::kSignatureMismatch);

    struct Case { const Bytes* key; const Bytes* encoding; bool found; tk::Status status; };
    const Case cases[] = {
        {&spki, &der, true, tk::kOk},
        {&other, &der, true, tk::kSignatureMismatch},
        {&spki, &shorter, false, 0},
        {&der, &spki, false, 0},
    };
    for (const Case& c : cases) {
        tk::Status status = 12345;
        EXPECT_EQ(cache.FindCheck(*c.key, *c.encoding, status), c.found);
        if (c.found) {
            EXPECT_EQ(status, c.status);
        }
    }
    // A check is no canonical encoding and no key, and the other way round.
    EXPECT_TRUE(cache.FindCanonical(der).empty());
    EXPECT_EQ(cache.FindKey(spki), nullptr);
    const Bytes sha1 = Filled(20, 7);
    cache.KeepCanonical(der, sha1);
    EXPECT_EQ(Bytes(cache.FindCanonical(der).begin(), cache.FindCanonical(der).end()), sha1);
    tk::Status status = 0;
    EXPECT_FALSE(cache.FindCheck(der, {}, status));
}

// Outcomes that may come from a passing lack of memory or context are never
// kept: the next catalog must ask again.
TEST(VerificationCacheTest, KeepsOnlyDefiniteOutcomes) {
    const tk::Status statuses[] = {tk::kOk, tk::kSignatureMismatch, tk::kOutOfMemory, tk::kCoreOutOfMemory,
                                   tk::kSignatureUncheckable, tk::kInvalidCertificate};
    for (tk::Status kept : statuses) {
        CVerificationCache cache;
        cache.KeepCheck(Filled(10, 1), Filled(10, 2), kept);
        tk::Status status = 0;
        bool definite = kept == tk::kOk || kept == tk::kSignatureMismatch;
        EXPECT_EQ(cache.FindCheck(Filled(10, 1), Filled(10, 2), status), definite) << kept;
    }
}

TEST(VerificationCacheTest, KeepsKeysUntilItEndsAndStopsWhenFull) {
    CVerificationCache cache;
    std::vector<tk::KeyObject*> refused;
    for (uint32_t i = 0; i < CVerificationCache::kMaxEntries + 3; ++i) {
        tk::KeyObject* key = nullptr;
        ASSERT_EQ(tk::KeyObjectCreate(&key), tk::kOk);
        Bytes spki = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0x30};
        if (cache.KeepKey(spki, key)) {
            EXPECT_EQ(cache.FindKey(spki), key);
        } else {
            refused.push_back(key);  // still the caller's
        }
    }
    EXPECT_EQ(cache.entries(), CVerificationCache::kMaxEntries);
    EXPECT_EQ(refused.size(), 3u);
    for (tk::KeyObject*& key : refused) tk::KeyObjectFree(&key);
    // Beyond the byte bound nothing is kept either.
    CVerificationCache bytes;
    bytes.KeepCheck(Filled(10, 1), Filled(CVerificationCache::kMaxBytes, 2), tk::kOk);
    tk::Status status = 0;
    EXPECT_FALSE(bytes.FindCheck(Filled(10, 1), Filled(CVerificationCache::kMaxBytes, 2), status));
}

// Without memory the cache keeps nothing and answers nothing; it never
// answers wrongly and leaks nothing.
TEST(VerificationCacheTest, AllocationFailuresOnlyLoseEntries) {
    korva::test_support::SweepAllocationFailures([](uint64_t) {
        CVerificationCache cache;
        cache.KeepCheck(Filled(8, 1), Filled(16, 2), tk::kSignatureMismatch);
        cache.KeepCanonical(Filled(16, 2), Filled(20, 3));
        tk::Status status = tk::kOk;
        if (cache.FindCheck(Filled(8, 1), Filled(16, 2), status)) {
            EXPECT_EQ(status, tk::kSignatureMismatch);
        }
        auto sha1 = cache.FindCanonical(Filled(16, 2));
        EXPECT_TRUE(sha1.empty() || Bytes(sha1.begin(), sha1.end()) == Filled(20, 3));
    });
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
