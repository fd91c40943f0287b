// Differential tests against libcrypto: digests of random data, modular
// exponentiation on random moduli, signatures from random keys, and a real
// e = 3 signature forgery built with libcrypto's big numbers.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <memory>

#include "tests/crypto/TestKeys.h"
#include "tests/crypto/TestSupport.h"
#include "toolkit/crypto/Hash.h"
#include "toolkit/crypto/Rsa.h"
#include "toolkit/crypto/TestHooks.h"

namespace korva::crypto::test {
namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Bn = std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>>;
using BnCtx = std::unique_ptr<BN_CTX, Freer<BN_CTX, BN_CTX_free>>;
using Pkey = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, Freer<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;

Bn BnFrom(const Bytes& b) { return Bn(BN_bin2bn(b.data(), static_cast<int>(b.size()), nullptr)); }
Bytes BytesOf(const BIGNUM* b, size_t length) {
    Bytes out(length);
    EXPECT_EQ(BN_bn2binpad(b, out.data(), static_cast<int>(length)), static_cast<int>(length));
    return out;
}

struct Oracle {
    HashAlgorithm ours;
    const EVP_MD* (*theirs)();
};
const Oracle kOracles[] = {{HashAlgorithm::Md5, EVP_md5},
                           {HashAlgorithm::Sha1, EVP_sha1},
                           {HashAlgorithm::Sha256, EVP_sha256},
                           {HashAlgorithm::Sha384, EVP_sha384},
                           {HashAlgorithm::Sha512, EVP_sha512}};

Bytes Theirs(const Oracle& oracle, const Bytes& message) {
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    EXPECT_EQ(EVP_Digest(message.data(), message.size(), out.data(), &length, oracle.theirs(), nullptr), 1);
    out.resize(length);
    return out;
}

class OracleDigests : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { testing::ForcePortableCode(GetParam()); }
    void TearDown() override { testing::ForcePortableCode(false); }
};

TEST_P(OracleDigests, EveryLengthUpTo300) {
    std::mt19937_64 rng(7);
    const Bytes data = RandomBytes(rng, 300);
    for (const Oracle& oracle : kOracles) {
        for (size_t length = 0; length <= data.size(); ++length) {
            const Bytes message(data.begin(), data.begin() + static_cast<ptrdiff_t>(length));
            HashContext context(oracle.ours);
            context.Update(message);
            ASSERT_EQ(DigestBytes(context.Final()), Theirs(oracle, message)) << static_cast<int>(oracle.ours) << " length " << length;
        }
    }
}

TEST_P(OracleDigests, RandomLongMessagesInRandomPieces) {
    std::mt19937_64 rng(8);
    // Three messages of up to 1 MiB: the vectors cover the lengths, these the
    // update splits of long input; more only costs time in Debug builds.
    for (int trial = 0; trial < 3; ++trial) {
        const Bytes message = RandomBytes(rng, rng() % (1u << 20) + 1);
        for (const Oracle& oracle : kOracles) {
            HashContext context(oracle.ours);
            for (size_t offset = 0; offset < message.size();) {
                const size_t piece = std::min<size_t>(message.size() - offset, rng() % 70000);
                context.Update(ByteView(message).subspan(offset, piece));
                offset += piece;
            }
            ASSERT_EQ(DigestBytes(context.Final()), Theirs(oracle, message)) << static_cast<int>(oracle.ours) << " size " << message.size();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(CodePaths, OracleDigests, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& path) {
                             return path.param ? "Portable" : "Accelerated";
                         });

// The public operation is a plain modular exponentiation; compare it with
// BN_mod_exp on random odd moduli of awkward sizes and exponents of all lengths.
TEST(OracleRsa, PublicOperationMatchesModularExponentiation) {
    std::mt19937_64 rng(9);
    BnCtx ctx(BN_CTX_new());
    for (size_t bits : {512u, 513u, 777u, 1023u, 1024u, 1025u, 1536u, 2047u, 2048u, 3072u, 4095u, 4096u}) {
        const size_t length = (bits + 7) / 8;
        for (int trial = 0; trial < 4; ++trial) {
            Bn n(BN_new());
            ASSERT_EQ(BN_rand(n.get(), static_cast<int>(bits), BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ODD), 1);
            const Bytes modulus = BytesOf(n.get(), length);
            Bn e(BN_new());
            const int exponentBits = trial == 0 ? 2 : trial == 1 ? 17 : static_cast<int>(rng() % (bits - 1)) + 2;
            ASSERT_EQ(BN_rand(e.get(), exponentBits, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ODD), 1);
            Bn base(BN_new());
            ASSERT_EQ(BN_rand_range(base.get(), n.get()), 1);

            // Exponents beyond what a public key accepts go to the modular
            // power directly.
            const Bytes exponent = BytesOf(e.get(), BN_num_bytes(e.get()));
            Bytes ours(length);
            RsaPublicKey key;
            if (exponentBits <= static_cast<int>(kMaxExponentBits)) {
                ASSERT_EQ(key.Init(modulus, exponent), RsaStatus::Ok) << bits;
                ASSERT_EQ(key.PublicOperation(BytesOf(base.get(), length), ours), RsaStatus::Ok);
            } else {
                ASSERT_EQ(key.Init(modulus, exponent), RsaStatus::ExponentInvalid) << bits;
                ours = RawRsa(modulus, exponent, BytesOf(base.get(), length));
            }
            Bn expected(BN_new());
            ASSERT_EQ(BN_mod_exp(expected.get(), base.get(), e.get(), n.get(), ctx.get()), 1);
            ASSERT_EQ(ToHex(ours), ToHex(BytesOf(expected.get(), length))) << bits << " bits, e of " << exponentBits << " bits";
        }
    }
}

Pkey GenerateKey(int bits, unsigned long exponent) {
    PkeyCtx ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
    Bn e(BN_new());
    BN_set_word(e.get(), exponent);
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) != 1 ||
        EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), e.get()) != 1 || EVP_PKEY_generate(ctx.get(), &key) != 1) {
        return nullptr;
    }
    return Pkey(key);
}

Bytes SignDigest(EVP_PKEY* key, const EVP_MD* md, const Bytes& digest) {
    PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    size_t length = 0;
    if (EVP_PKEY_sign_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(ctx.get(), md) != 1 ||
        EVP_PKEY_sign(ctx.get(), nullptr, &length, digest.data(), digest.size()) != 1) {
        return {};
    }
    Bytes signature(length);
    if (EVP_PKEY_sign(ctx.get(), signature.data(), &length, digest.data(), digest.size()) != 1) return {};
    signature.resize(length);
    return signature;
}

Bytes KeyParameter(EVP_PKEY* key, const char* name) {
    BIGNUM* raw = nullptr;
    EXPECT_EQ(EVP_PKEY_get_bn_param(key, name, &raw), 1);
    Bn value(raw);
    return BytesOf(value.get(), BN_num_bytes(value.get()));
}

TEST(OracleRsa, SignaturesFromRandomKeysVerifyAndCorruptedOnesDoNot) {
    std::mt19937_64 rng(10);
    const struct {
        int bits;
        unsigned long exponent;
    } kKeys[] = {{512, 65537}, {1024, 3}, {1024, 65537}, {2048, 65537}, {2048, 3}, {3072, 65537}, {4096, 65537}};
    for (const auto& spec : kKeys) {
        Pkey pkey = GenerateKey(spec.bits, spec.exponent);
        ASSERT_TRUE(pkey) << spec.bits;
        RsaPublicKey key;
        ASSERT_EQ(key.Init(KeyParameter(pkey.get(), OSSL_PKEY_PARAM_RSA_N), KeyParameter(pkey.get(), OSSL_PKEY_PARAM_RSA_E)),
                  RsaStatus::Ok);
        for (const Oracle& oracle : kOracles) {
            // SHA-384 and SHA-512 DigestInfos do not fit a 512-bit block.
            if (DigestInfoPrefix(oracle.ours).size() + DigestLength(oracle.ours) + 11 > key.modulusLength()) continue;
            for (int trial = 0; trial < 3; ++trial) {
                const Bytes d = DigestBytes(Hash(oracle.ours, RandomBytes(rng, rng() % 1000)));
                Bytes signature = SignDigest(pkey.get(), oracle.theirs(), d);
                ASSERT_EQ(signature.size(), key.modulusLength());
                const std::string where = std::to_string(spec.bits) + " bits, algorithm " + std::to_string(static_cast<int>(oracle.ours));
                EXPECT_EQ(RsaVerifyPkcs1(key, oracle.ours, d, signature), RsaStatus::Ok) << where;

                Bytes otherDigest = d;
                otherDigest[rng() % otherDigest.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                EXPECT_EQ(RsaVerifyPkcs1(key, oracle.ours, otherDigest, signature), RsaStatus::DigestInfoMismatch) << where;
                signature[rng() % signature.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
                EXPECT_NE(RsaVerifyPkcs1(key, oracle.ours, d, signature), RsaStatus::Ok) << where;
            }
        }
    }
}

// The smallest s with s^3 >= x (Newton's iteration from above).
Bn CubeRootCeiling(const BIGNUM* x, BN_CTX* ctx) {
    Bn root(BN_new()), next(BN_new()), square(BN_new()), quotient(BN_new()), cube(BN_new()), three(BN_new());
    BN_set_word(three.get(), 3);
    BN_set_bit(root.get(), BN_num_bits(x) / 3 + 1);
    for (;;) {
        // next = (2 * root + x / root^2) / 3
        BN_sqr(square.get(), root.get(), ctx);
        BN_div(quotient.get(), nullptr, x, square.get(), ctx);
        BN_lshift1(next.get(), root.get());
        BN_add(next.get(), next.get(), quotient.get());
        BN_div(next.get(), nullptr, next.get(), three.get(), ctx);
        if (BN_cmp(next.get(), root.get()) >= 0) break;
        BN_copy(root.get(), next.get());
    }
    for (;;) {
        BN_sqr(square.get(), root.get(), ctx);
        BN_mul(cube.get(), square.get(), root.get(), ctx);
        if (BN_cmp(cube.get(), x) >= 0) return root;
        BN_add_word(root.get(), 1);
    }
}

// Bleichenbacher 2006: with e = 3 and room for garbage after (or in place
// of most of) the padding, a cube root forged without the private key makes
// a block with the right beginning. A lax verifier accepts it; ours must not.
TEST(OracleRsa, CubeRootForgeriesForExponentThreeAreRefused) {
    BnCtx ctx(BN_CTX_new());
    RsaPublicKey key;
    ASSERT_EQ(key.Init(FromHex(kE3Modulus), Bytes{3}), RsaStatus::Ok);
    const Bytes message = {'p', 'a', 'y', ' ', '1', '0', '0', '0'};
    const Digest digest = Hash(HashAlgorithm::Sha256, message);
    const ByteView prefix = DigestInfoPrefix(HashAlgorithm::Sha256);
    const Bytes digestInfo = Concat({Bytes(prefix.begin(), prefix.end()), DigestBytes(digest)});

    for (size_t fill : {1u, 8u, 16u}) {
        Bytes target = Type1Block(digestInfo, fill);
        const size_t meaningful = target.size();
        target.resize(256, 0x00);  // the cube root rounds up, so the excess lands in these low octets
        Bn x = BnFrom(target);
        Bn s = CubeRootCeiling(x.get(), ctx.get());
        const Bytes signature = BytesOf(s.get(), 256);

        // The forgery is real: cubing it reproduces the meaningful prefix...
        Bytes block(256);
        ASSERT_EQ(key.PublicOperation(signature, block), RsaStatus::Ok);
        ASSERT_TRUE(std::equal(target.begin(), target.begin() + static_cast<ptrdiff_t>(meaningful), block.begin()))
            << "fill " << fill;
        // ...and is refused.
        EXPECT_NE(RsaVerifyPkcs1(key, HashAlgorithm::Sha256, digest.view(), signature), RsaStatus::Ok) << "fill " << fill;
    }
}

}  // namespace
}  // namespace korva::crypto::test
