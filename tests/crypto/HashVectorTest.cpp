// Published test vectors for every digest, the SHA family's run on both the
// accelerated and the portable code, and the incremental interface. Both SHA
// code paths on every length up to 300 octets are compared with libcrypto
// (OracleTest.cpp).
#include <gtest/gtest.h>

#include <sstream>

#include "tests/crypto/TestSupport.h"
#include "toolkit/crypto/CpuFeatures.h"
#include "toolkit/crypto/Hash.h"
#include "toolkit/crypto/TestHooks.h"

namespace korva::crypto::test {
namespace {

struct ShaFamily {
    const char* file;  // prefix of the CAVP file names
    HashAlgorithm algorithm;
};
constexpr ShaFamily kShaFamilies[] = {{"SHA1", HashAlgorithm::Sha1},
                                      {"SHA256", HashAlgorithm::Sha256},
                                      {"SHA384", HashAlgorithm::Sha384},
                                      {"SHA512", HashAlgorithm::Sha512}};

std::string HexDigest(HashAlgorithm algorithm, const Bytes& message) {
    const Digest d = Hash(algorithm, message);
    return ToHex(d.bytes.data(), d.length);
}

// Every test runs once on the code the processor would normally get and once
// with the portable code forced.
class HashVectors : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { testing::ForcePortableCode(GetParam()); }
    void TearDown() override { testing::ForcePortableCode(false); }
};

TEST_P(HashVectors, CavpShortAndLongMessages) {
    size_t checked = 0;
    for (const ShaFamily& family : kShaFamilies) {
        for (const char* kind : {"ShortMsg", "LongMsg"}) {
            const std::string path = std::string("cavp-shs/") + family.file + kind + ".rsp";
            KORVA_READ_VECTORS_OR_SKIP(text, path);
            for (const RspRecord& record : ParseRsp(text)) {
                if (!record.contains("Len")) continue;
                const size_t bits = std::stoul(record.at("Len"));
                const Bytes message = FromHex(record.at("Msg"));
                ASSERT_EQ(HexDigest(family.algorithm, Bytes(message.begin(), message.begin() + bits / 8)), record.at("MD"))
                    << path << " Len = " << bits;
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 65u + 64 + 65 + 64 + 129 + 128 + 129 + 128);
}

TEST_P(HashVectors, CavpMonteCarlo) {
    for (const ShaFamily& family : kShaFamilies) {
        const std::string path = std::string("cavp-shs/") + family.file + "Monte.rsp";
        KORVA_READ_VECTORS_OR_SKIP(text, path);
        const std::vector<RspRecord> records = ParseRsp(text);
        ASSERT_FALSE(records.empty());
        ASSERT_TRUE(records.front().contains("Seed")) << path;
        Bytes seed = FromHex(records.front().at("Seed"));
        size_t checkpoints = 0;
        HashContext context(family.algorithm);
        for (const RspRecord& record : records) {
            if (!record.contains("MD")) continue;
            Bytes md[3] = {seed, seed, seed};
            for (int i = 3; i < 1003; ++i) {
                for (const Bytes& part : md) context.Update(part);
                const Digest next = context.Final();
                md[0] = std::move(md[1]);
                md[1] = std::move(md[2]);
                md[2] = DigestBytes(next);
            }
            seed = md[2];
            ASSERT_EQ(ToHex(seed), record.at("MD")) << path << " COUNT = " << record.at("COUNT");
            ++checkpoints;
        }
        EXPECT_EQ(checkpoints, 100u) << path;
    }
}

// MD5 and MD2 have no accelerated code: their vectors run once.
TEST(HashVectorsOnce, Rfc1321Md5Suite) {
    KORVA_READ_VECTORS_OR_SKIP(text, "md5/md5_rfc1321.txt");
    std::istringstream lines(text);
    std::string line;
    size_t checked = 0;
    while (std::getline(lines, line)) {
        const size_t open = line.find("(\"");
        const size_t close = line.rfind("\")");
        const size_t eq = line.rfind("= ");
        if (line.empty() || line[0] == '#' || open == std::string::npos || close == std::string::npos) continue;
        const std::string message = line.substr(open + 2, close - open - 2);
        const std::string expected = line.substr(eq + 2, 32);
        EXPECT_EQ(HexDigest(HashAlgorithm::Md5, Bytes(message.begin(), message.end())), expected) << line;
        ++checked;
    }
    EXPECT_EQ(checked, 7u);
}

TEST(HashVectorsOnce, Rfc1319Md2Suite) {
    // RFC 1319, appendix A.5.
    const std::pair<const char*, const char*> kSuite[] = {
        {"", "8350e5a3e24c153df2275c9f80692773"},
        {"a", "32ec01ec4a6dac72c0ab96fb34c0b5d1"},
        {"abc", "da853b0d3f88d99b30283a69e6ded6bb"},
        {"message digest", "ab4f496bfb2a530b219ff33031fe06b0"},
        {"abcdefghijklmnopqrstuvwxyz", "4e8ddff3650292ab5a4108c3aa47940b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "da33def2a42df13975352846c30338cd"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "d5976f79d83d3a0dc9806c3c66f3efd8"},
    };
    for (const auto& [message, expected] : kSuite) {
        const std::string m(message);
        EXPECT_EQ(HexDigest(HashAlgorithm::Md2, Bytes(m.begin(), m.end())), expected) << '"' << m << '"';
    }
}

// The incremental interface where the vectors do not reach it: arbitrary
// update splits and Final's contract.
constexpr HashAlgorithm kAll[] = {HashAlgorithm::Md2,    HashAlgorithm::Md5,    HashAlgorithm::Sha1,
                                  HashAlgorithm::Sha256, HashAlgorithm::Sha384, HashAlgorithm::Sha512};

TEST(HashContext, AnySplitOfTheMessageGivesTheSameDigest) {
    std::mt19937_64 rng(1);
    const Bytes message = RandomBytes(rng, 1500);
    for (HashAlgorithm algorithm : kAll) {
        const Bytes expected = DigestBytes(Hash(algorithm, message));
        for (int trial = 0; trial < 50; ++trial) {
            HashContext context(algorithm);
            size_t offset = 0;
            while (offset < message.size()) {
                // Mostly short pieces (including empty ones) so block edges are crossed in every way.
                const size_t piece = std::min<size_t>(message.size() - offset, rng() % 3 == 0 ? rng() % 300 : rng() % 20);
                context.Update(ByteView(message).subspan(offset, piece));
                offset += piece;
            }
            ASSERT_EQ(DigestBytes(context.Final()), expected) << static_cast<int>(algorithm) << " trial " << trial;
        }
    }
}

// Final into a short buffer writes nothing and keeps the message; a Final
// that succeeds starts a fresh one.
TEST(HashContext, FinalContract) {
    const Bytes abc = {'a', 'b', 'c'};
    for (HashAlgorithm algorithm : kAll) {
        HashContext context(algorithm);
        context.Update(Bytes(200, 0x5A));
        context.Final();
        context.Update(ByteView(abc).first(2));
        std::array<uint8_t, kMaxDigestLength> out{};
        out.fill(0xAA);
        EXPECT_EQ(context.Final(MutableByteView(out).first(DigestLength(algorithm) - 1)), 0u);
        EXPECT_EQ(out[0], 0xAA);
        context.Update(ByteView(abc).last(1));
        EXPECT_EQ(DigestBytes(context.Final()), DigestBytes(Hash(algorithm, abc))) << static_cast<int>(algorithm);
    }
}

INSTANTIATE_TEST_SUITE_P(CodePaths, HashVectors, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& path) {
                             return path.param ? "Portable" : "Accelerated";
                         });

}  // namespace
}  // namespace korva::crypto::test
