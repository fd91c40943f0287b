#include "catalog/CertDigest.h"

#include <gtest/gtest.h>

#include "catalog/AlgorithmReaders.h"
#include "catalog/CertDigestInfo.h"
#include "catalog/CertResult.h"
#include "tests/common/AllocationFaults.h"
#include "tests/crypto/TestSupport.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::crypto::test::FromHex;
using Info = CCertDigest::CInfo;

TEST(CertDigestInfo, LooksUpTheSixRowsInOrder) {
    for (uint32_t id = 0; id <= 6; ++id) EXPECT_EQ(Info::ById(id).id(), id <= 5 ? id : 0u) << id;
    EXPECT_EQ(&Info::ById(1), &kSha1Info);  // before sha1WithRSAEncryption, which has id 1 too
    // (length, id by digest length, id by DigestInfo length); 28 octets is no row's.
    const uint32_t rows[][3] = {{20, 1, 0}, {16, 2, 0}, {32, 3, 0}, {48, 4, 0}, {64, 5, 0}, {35, 0, 1}, {34, 0, 2},
                                {51, 0, 3}, {67, 0, 4}, {83, 0, 5}, {39, 0, 1}, {28, 0, 0}, {0, 0, 0}};
    for (const auto& row : rows) {
        EXPECT_EQ(Info::ByDigestLength(row[0]).id(), row[1]) << row[0];
        EXPECT_EQ(Info::ByDigestInfoLength(row[0]).id(), row[2]) << row[0];
    }
    EXPECT_EQ(&Info::ByDigestInfoLength(39), &kSha1RsaInfo);
    EXPECT_EQ(&Info::ByDigestLength(28), &kUnknownInfo);
}

TEST(AlgorithmReaders, IdentifyByLengthThenBytes) {
    struct Row {
        bool signature;  // the signature-algorithm reader, else the digest one
        const char* hex;
        uint32_t result, id;
    } const rows[] = {
        {false, "300906052b0e03021a0500", 1, 1},
        {false, "300706052b0e03021a", 1, 1},
        {false, "300c06082a864886f70d02050500", 1, 2},
        {false, "300a06082a864886f70d0205", 1, 2},
        {false, "300b0609608648016503040201", 1, 3},
        {false, "300d06096086480165030402010500", 1, 3},
        {false, "300d06096086480165030402020500", 1, 4},
        {false, "300d06096086480165030402030500", 1, 5},
        {false, "300d06092a864886f70d0101050500", 1, 1},
        {false, "300b0609608648016503040202", 4, 0},  // SHA-384 without parameters is taken for SHA-256
        {false, "300906052b0e03021b0500", 4, 0},
        {false, "300d06092a864886f70d01010b0500", 4, 0},
        {false, "3116300906052b0e03021a0500300906052b0e03021a0500", 5, 0},  // two identifiers never match
        {false, "", 5, 0},
        {true, "06092a864886f70d0101010500", 1, kSignatureRsaSha1},
        {true, "06092a864886f70d0101050500", 1, kSignatureRsaSha1},
        {true, "06092a864886f70d01010b0500", 1, kSignatureRsaSha256},
        {true, "06092a864886f70d01010c0500", 3, 0},
        {true, "06092a864886f70d0101010400", 3, 0},
        {true, "06092a864886f70d010101", 3, 0},
    };
    for (const Row& row : rows) {
        const auto bytes = FromHex(row.hex);
        uint32_t id = 0, length = static_cast<uint32_t>(bytes.size());
        EXPECT_EQ(row.signature ? ReadSignatureAlgorithm(bytes.data(), length, id)
                                : ReadDigestAlgorithm(bytes.data(), length, id),
                  row.result)
            << row.hex;
        EXPECT_EQ(id, row.id) << row.hex;
    }
}

TEST(CertDigest, ComputesEachAlgorithmInPiecesAndNothingAfterAFailedInit) {
    // The digest methods are tested on their own; here each id must reach
    // its own: SHA-1 of "abc" and the right length for the others.
    for (uint32_t id = 1; id <= 5; ++id) {
        CCertDigest digest;
        ASSERT_EQ(digest.Init(id), kCertSuccess);
        ASSERT_EQ(digest.Update(reinterpret_cast<const uint8_t*>("a"), 1), kCertSuccess);
        ASSERT_EQ(digest.Update(reinterpret_cast<const uint8_t*>("bc"), 2), kCertSuccess);
        ASSERT_EQ(digest.Final(), kCertSuccess);
        EXPECT_EQ(digest.output().size(), Info::ById(id).digestLength());
        EXPECT_TRUE(id != 1 || korva::crypto::test::ToHex(digest.output().data(), 20) ==
                                   "a9993e364706816aba3e25717850c26c9cd0d89d");
    }
    CCertDigest digest;
    ASSERT_EQ(digest.Init(1), kCertSuccess);
    EXPECT_EQ(digest.Init(6), kCertUnknownAlgorithm);
    EXPECT_EQ(digest.output().size(), 0u);
    EXPECT_EQ(digest.Update(reinterpret_cast<const uint8_t*>("a"), 1), kCertToolkitFailure);
    EXPECT_EQ(digest.Final(), kCertToolkitFailure);
    korva::test_support::SweepAllocationFailures([](uint64_t failing) {
        CCertDigest swept;
        uint32_t result = swept.Init(3);
        EXPECT_EQ(result == kCertSuccess ? swept.Final() : result, failing == 0 ? kCertSuccess : kCertOutOfMemory);
    });
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
