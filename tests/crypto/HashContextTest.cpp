// Behaviour of the incremental interface that the vectors do not reach:
// arbitrary update splits and Final's contract. Both SHA code paths on every
// length up to 300 octets are compared with libcrypto (OracleTest.cpp).
#include <gtest/gtest.h>

#include "tests/crypto/TestSupport.h"
#include "toolkit/crypto/Hash.h"

namespace korva::crypto::test {
namespace {

constexpr HashAlgorithm kAll[] = {HashAlgorithm::Md2,    HashAlgorithm::Md5,    HashAlgorithm::Sha1,
                                  HashAlgorithm::Sha256, HashAlgorithm::Sha384, HashAlgorithm::Sha512};

Bytes DigestBytes(const Digest& d) { return Bytes(d.bytes.begin(), d.bytes.begin() + static_cast<ptrdiff_t>(d.length)); }

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

}  // namespace
}  // namespace korva::crypto::test
