#include "catalog/CertDigest.h"

#include <gtest/gtest.h>

#include "catalog/AlgorithmReaders.h"
#include "catalog/CertDigestInfo.h"
#include "catalog/CertResult.h"
#include "tests/catalog/CatalogTestSupport.h"
#include "tests/common/AllocationFaults.h"
#include "tests/crypto/TestSupport.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::crypto::test::FromHex;
using korva::crypto::test::ToHex;
using Info = CCertDigest::CInfo;

TEST(CertDigestInfo, LooksUpTheSixRowsInOrder) {
    for (uint32_t id = 0; id <= 6; ++id) EXPECT_EQ(Info::ById(id).id(), id <= 5 ? id : 0u) << id;
    EXPECT_EQ(&Info::ById(1), &kSha1Info);  // before sha1WithRSAEncryption, which has id 1 too
    struct Row {
        uint32_t length, byDigestLength, byDigestInfoLength;
    };
    const Row rows[] = {{20, 1, 0}, {16, 2, 0}, {32, 3, 0}, {48, 4, 0}, {64, 5, 0}, {35, 0, 1}, {34, 0, 2},
                        {51, 0, 3}, {67, 0, 4}, {83, 0, 5}, {39, 0, 1}, {28, 0, 0}, {0, 0, 0}};
    for (const Row& row : rows) {
        EXPECT_EQ(Info::ByDigestLength(row.length).id(), row.byDigestLength) << row.length;
        EXPECT_EQ(Info::ByDigestInfoLength(row.length).id(), row.byDigestInfoLength) << row.length;
    }
    EXPECT_EQ(&Info::ByDigestInfoLength(39), &kSha1RsaInfo);
    EXPECT_EQ(&Info::ByDigestLength(28), &kUnknownInfo);
}

TEST(AlgorithmReaders, IdentifyDigestAlgorithmsByLengthThenBytes) {
    struct Row {
        const char* hex;
        uint32_t result, id;
    };
    const Row rows[] = {
        {"300906052b0e03021a0500", 1, 1},
        {"300706052b0e03021a", 1, 1},
        {"300c06082a864886f70d02050500", 1, 2},
        {"300a06082a864886f70d0205", 1, 2},
        {"300b0609608648016503040201", 1, 3},
        {"300d06096086480165030402010500", 1, 3},
        {"300d06096086480165030402020500", 1, 4},
        {"300d06096086480165030402030500", 1, 5},
        {"300d06092a864886f70d0101050500", 1, 1},
        {"300b0609608648016503040202", 4, 0},  // SHA-384 without parameters is taken for SHA-256
        {"300906052b0e03021b0500", 4, 0},
        {"300d06092a864886f70d01010b0500", 4, 0},  // sha256WithRSAEncryption is no digest algorithm
        {"3116300906052b0e03021a0500300906052b0e03021a0500", 5, 0},  // two identifiers never match
        {"", 5, 0},
    };
    for (const Row& row : rows) {
        const auto bytes = FromHex(row.hex);
        uint32_t id = 0;
        EXPECT_EQ(ReadDigestAlgorithm(bytes.data(), static_cast<uint32_t>(bytes.size()), id), row.result) << row.hex;
        EXPECT_EQ(id, row.id) << row.hex;
    }
}

TEST(AlgorithmReaders, IdentifySignatureAlgorithmsOfThirteenOctets) {
    struct Row {
        const char* hex;
        uint32_t result, id;
    };
    const Row rows[] = {
        {"06092a864886f70d0101010500", 1, kSignatureRsaSha1},
        {"06092a864886f70d0101050500", 1, kSignatureRsaSha1},
        {"06092a864886f70d01010b0500", 1, kSignatureRsaSha256},
        {"06092a864886f70d01010c0500", 3, 0},
        {"06092a864886f70d0101010400", 3, 0},
        {"06092a864886f70d010101", 3, 0},
    };
    for (const Row& row : rows) {
        const auto bytes = FromHex(row.hex);
        uint32_t id = 0;
        EXPECT_EQ(ReadSignatureAlgorithm(bytes.data(), static_cast<uint32_t>(bytes.size()), id), row.result)
            << row.hex;
        EXPECT_EQ(id, row.id) << row.hex;
    }
}

TEST(CertDigest, ComputesEachAlgorithmInPieces) {
    struct Row {
        uint32_t id;
        const char* digestOfAbc;
    };
    const Row rows[] = {
        {1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {2, "900150983cd24fb0d6963f7d28e17f72"},
        {3, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {4, "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
        {5, "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
            "454d4423643ce80e2a9ac94fa54ca49f"},
    };
    for (const Row& row : rows) {
        CCertDigest digest;
        ASSERT_EQ(digest.Init(row.id), kCertSuccess);
        ASSERT_EQ(digest.Update(reinterpret_cast<const uint8_t*>("a"), 1), kCertSuccess);
        ASSERT_EQ(digest.Update(reinterpret_cast<const uint8_t*>("bc"), 2), kCertSuccess);
        ASSERT_EQ(digest.Final(), kCertSuccess);
        EXPECT_EQ(ToHex(digest.output().data(), digest.output().size()), row.digestOfAbc) << row.id;
    }
}

TEST(CertDigest, AFailedInitLeavesNothingToUse) {
    CCertDigest digest;
    ASSERT_EQ(digest.Init(1), kCertSuccess);
    EXPECT_EQ(digest.Init(0), kCertUnknownAlgorithm);
    EXPECT_EQ(digest.Init(6), kCertUnknownAlgorithm);
    EXPECT_EQ(digest.output().size(), 0u);
    EXPECT_EQ(digest.Update(reinterpret_cast<const uint8_t*>("a"), 1), kCertToolkitFailure);
    EXPECT_EQ(digest.Final(), kCertToolkitFailure);

    korva::test_support::SweepAllocationFailures([](uint64_t failing) {
        CCertDigest swept;
        uint32_t result = swept.Init(3);
        if (result == kCertSuccess) result = swept.Final();
        EXPECT_EQ(result, failing == 0 ? kCertSuccess : kCertOutOfMemory) << failing;
    });
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
