// RSA keys, the strict PKCS #1 v1.5 unpadding, the Wycheproof suites, and
// forged signatures of the kinds that have fooled real verifiers.
#include <gtest/gtest.h>

#include "tests/crypto/TestKeys.h"
#include "tests/crypto/TestSupport.h"
#include "toolkit/crypto/Rsa.h"

namespace korva::crypto::test {
namespace {

Bytes AsBytes(ByteView view) { return Bytes(view.begin(), view.end()); }

// The same DigestInfo with the NULL parameters left out (two octets fewer in
// both enclosing SEQUENCE lengths), the form Wycheproof calls MissingNull.
Bytes PrefixWithoutNull(HashAlgorithm algorithm) {
    Bytes prefix = AsBytes(DigestInfoPrefix(algorithm));
    prefix[1] = static_cast<uint8_t>(prefix[1] - 2);
    prefix[3] = static_cast<uint8_t>(prefix[3] - 2);
    prefix.erase(prefix.end() - 4, prefix.end() - 2);  // the 05 00 before 04 <length>
    return prefix;
}

std::optional<HashAlgorithm> AlgorithmNamed(const std::string& name) {
    if (name == "SHA-1") return HashAlgorithm::Sha1;
    if (name == "SHA-256") return HashAlgorithm::Sha256;
    if (name == "SHA-384") return HashAlgorithm::Sha384;
    if (name == "SHA-512") return HashAlgorithm::Sha512;
    return std::nullopt;  // SHA-224 and others this toolkit has no use for
}

TEST(RsaKey, InitAcceptsOnlyUsableKeys) {
    const Bytes n2048 = FromHex(kE3Modulus);
    Bytes n512(64, 0xff);  // 2^512 - 1: odd, exactly 512 bits
    Bytes n511 = n512;
    n511[0] = 0x7f;
    Bytes n4097(513, 0xff);
    n4097[0] = 0x01;
    Bytes even = n2048;
    even.back() &= 0xfe;
    const struct {
        const char* what;
        Bytes modulus, exponent;
        RsaStatus expected;
    } kCases[] = {
        {"2048 bits, e = 3", n2048, {3}, RsaStatus::Ok},
        {"leading zero octets ignored", Concat({{0, 0}, n2048}), {0, 1, 0, 1}, RsaStatus::Ok},
        {"512 bits", n512, {1, 0, 1}, RsaStatus::Ok},
        {"511 bits", n511, {3}, RsaStatus::ModulusSizeUnsupported},
        {"4097 bits", n4097, {3}, RsaStatus::ModulusSizeUnsupported},
        {"even modulus", even, {3}, RsaStatus::ModulusEven},
        {"e = 1", n2048, {1}, RsaStatus::ExponentInvalid},
        {"e = 0", n2048, {0}, RsaStatus::ExponentInvalid},
        {"empty e", n2048, {}, RsaStatus::ExponentInvalid},
        {"even e", n2048, {1, 0, 0}, RsaStatus::ExponentInvalid},
        {"e = n", n2048, n2048, RsaStatus::ExponentInvalid},
        {"e longer than n", n2048, Concat({{1}, n2048}), RsaStatus::ExponentInvalid},
        {"e of 64 bits", n2048, Bytes(8, 0xff), RsaStatus::Ok},
        {"e of 65 bits", n2048, Concat({{1}, Bytes(8, 0xff)}), RsaStatus::ExponentInvalid},
        {"e of 64 bits after zero octets", n2048, Concat({{0, 0}, Bytes(8, 0xff)}), RsaStatus::Ok},
        {"e = n - 2 (odd, far too long)", n2048, [&] { Bytes e = n2048; e.back() -= 2; return e; }(),
         RsaStatus::ExponentInvalid},
    };
    for (const auto& c : kCases) {
        RsaPublicKey key;
        EXPECT_EQ(key.Init(c.modulus, c.exponent), c.expected) << c.what;
        EXPECT_EQ(key.valid(), c.expected == RsaStatus::Ok) << c.what;
    }
    RsaPublicKey key;
    ASSERT_EQ(key.Init(Concat({{0}, n2048}), Bytes{3}), RsaStatus::Ok);
    EXPECT_EQ(key.modulusLength(), 256u);
    EXPECT_EQ(key.modulusBits(), 2048u);
}

TEST(Pkcs1Unpad, AcceptsOnlyTheStrictType1Layout) {
    const Bytes ff8(8, 0xff);
    const Bytes payload = {0x30, 0x01, 0x02};
    const struct {
        const char* what;
        Bytes block;
        bool accepted;
    } kCases[] = {
        {"eight FF", Type1Block(payload, 8), true},
        {"twenty FF", Type1Block(payload, 20), true},
        {"seven FF", Type1Block(payload, 7), false},
        {"block type 2", Type1Block(payload, 8, 0x02), false},
        {"block type 0", Type1Block(payload, 8, 0x00), false},
        {"leading 01", Concat({{0x01, 0x01}, ff8, {0x00}, payload}), false},
        {"no separator", Concat({{0x00, 0x01}, Bytes(20, 0xff)}), false},
        {"separator not 00", Concat({{0x00, 0x01}, ff8, {0x01}, payload}), false},
        {"FE inside the padding", Concat({{0x00, 0x01}, ff8, {0xfe}, ff8, {0x00}, payload}), false},
        {"nothing after the separator", Type1Block({}, 8), false},
        {"empty", {}, false},
    };
    for (const auto& c : kCases) {
        ByteView out;
        const RsaStatus status = Pkcs1Type1Unpad(c.block, out);
        EXPECT_EQ(status == RsaStatus::Ok, c.accepted) << c.what;
        if (c.accepted) {
            EXPECT_EQ(AsBytes(out), payload) << c.what;
        }
    }
}

// Each test group of a Wycheproof file, with its key (under `keyField`) and
// hash; groups of hashes this toolkit has no use for are counted and skipped.
template <typename Check>
void ForEachGroup(const std::string& path, const char* keyField, size_t& otherHash, Check check) {
    KORVA_READ_VECTORS_OR_SKIP(text, path);
    const std::optional<Json> document = ParseJson(text);
    ASSERT_TRUE(document) << path;
    for (const Json& group : (*document)["testGroups"].array) {
        const std::optional<HashAlgorithm> algorithm = AlgorithmNamed(group["sha"].string);
        if (!algorithm) {
            otherHash += group["tests"].array.size();
            continue;
        }
        RsaPublicKey key;
        ASSERT_EQ(key.Init(FromHex(group[keyField]["modulus"].string), FromHex(group[keyField]["publicExponent"].string)),
                  RsaStatus::Ok)
            << path;
        for (const Json& test : group["tests"].array) {
            const Digest digest = Hash(*algorithm, FromHex(test["msg"].string));
            const std::string where = path + " tcId " + std::to_string(static_cast<int>(test["tcId"].number)) + " " +
                                      test["comment"].string;
            check(key, *algorithm, digest, test, where);
        }
    }
}

// Wycheproof RsassaPkcs1Verify: every valid case verifies, every invalid one
// is refused. The acceptable cases (all MissingNull) are refused by the
// verify convenience, which takes only the canonical DigestInfo, while the
// raw unpadding hands back that NULL-less DigestInfo for a caller to judge.
TEST(RsaWycheproof, VerifyFiles) {
    size_t valid = 0, invalid = 0, acceptable = 0, otherHash = 0;
    for (const char* bits : {"2048", "3072", "4096"}) {
        for (const char* sha : {"sha256", "sha384", "sha512"}) {
            const std::string path = std::string("wycheproof/rsa_signature_") + bits + "_" + sha + "_test.json";
            ForEachGroup(path, "publicKey", otherHash, [&](const RsaPublicKey& key, HashAlgorithm algorithm,
                                                           const Digest& digest, const Json& test, const std::string& where) {
                const Bytes signature = FromHex(test["sig"].string);
                const RsaStatus status = RsaVerifyPkcs1(key, algorithm, digest.view(), signature);
                const std::string& result = test["result"].string;
                if (result == "valid") {
                    EXPECT_EQ(status, RsaStatus::Ok) << where;
                    ++valid;
                } else if (result == "invalid") {
                    EXPECT_NE(status, RsaStatus::Ok) << where;
                    ++invalid;
                } else {
                    ASSERT_EQ(test["flags"].array.size(), 1u) << where;
                    ASSERT_EQ(test["flags"].array[0].string, "MissingNull") << where;
                    EXPECT_EQ(status, RsaStatus::DigestInfoMismatch) << where;
                    std::array<uint8_t, kMaxModulusLength> payload{};
                    size_t length = 0;
                    ASSERT_EQ(RsaRecoverPayload(key, signature, payload, length), RsaStatus::Ok) << where;
                    EXPECT_EQ(Bytes(payload.begin(), payload.begin() + static_cast<ptrdiff_t>(length)),
                              Concat({PrefixWithoutNull(algorithm), DigestBytes(digest)}))
                        << where;
                    ++acceptable;
                }
            });
            if (::testing::Test::IsSkipped()) return;
        }
    }
    EXPECT_EQ(valid, 68u);
    EXPECT_EQ(acceptable, 9u);
    EXPECT_EQ(invalid, 2253u);
    EXPECT_EQ(otherHash, 0u);
}

// Wycheproof RsassaPkcs1Generate: correct signatures only, so they must all
// verify; they add SHA-1 and 1024/1536-bit keys.
TEST(RsaWycheproof, SignatureGenerationFilesVerify) {
    size_t checked = 0, otherHash = 0;
    for (const char* bits : {"1024", "1536", "2048", "3072", "4096"}) {
        const std::string path = std::string("wycheproof/rsa_pkcs1_") + bits + "_sig_gen_test.json";
        ForEachGroup(path, "privateKey", otherHash, [&](const RsaPublicKey& key, HashAlgorithm algorithm,
                                                        const Digest& digest, const Json& test, const std::string& where) {
            EXPECT_EQ(RsaVerifyPkcs1(key, algorithm, digest.view(), FromHex(test["sig"].string)), RsaStatus::Ok) << where;
            ++checked;
        });
        if (::testing::Test::IsSkipped()) return;
    }
    EXPECT_EQ(checked + otherHash, 33u + 32 + 43 + 26 + 24);
    EXPECT_EQ(otherHash, 24u);  // the SHA-224 groups
}

// Signatures made with the fixed e = 3 key over hand-built blocks: the
// verifier sees exactly the block, so each malformation is tested directly.
class RsaForgery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(key_.Init(FromHex(kE3Modulus), Bytes{3}), RsaStatus::Ok);
        digest_ = DigestBytes(Hash(HashAlgorithm::Sha256, Bytes{'c', 'a', 't'}));
        digestInfo_ = Concat({AsBytes(DigestInfoPrefix(HashAlgorithm::Sha256)), digest_});
    }
    RsaStatus Verify(const Bytes& signature) { return RsaVerifyPkcs1(key_, HashAlgorithm::Sha256, digest_, signature); }

    RsaPublicKey key_;
    Bytes digest_, digestInfo_;
};

TEST_F(RsaForgery, MalformedBlocksAreRefused) {
    const Bytes garbage(40, 0x5c);
    Bytes otherParameters = digestInfo_;
    otherParameters[15] = 0x01;  // 05 01 in place of the NULL's 05 00
    Bytes wrongDigest = digestInfo_;
    wrongDigest.back() ^= 1;
    Bytes longFormLength = Concat({{0x30, 0x81, 0x31}, Bytes(digestInfo_.begin() + 2, digestInfo_.end())});
    // Bleichenbacher 2006: short padding, the DigestInfo, then garbage that
    // lets an e = 3 cube root be found without the key.
    Bytes garbageAfter = Type1Block(digestInfo_, 1);
    garbageAfter.resize(256, 0x5c);
    // Garbage hidden in the padding instead.
    Bytes garbageInPadding = Type1Block(digestInfo_);
    std::fill(garbageInPadding.begin() + 20, garbageInPadding.begin() + 60, uint8_t{0x5c});
    Bytes shortPadding = Type1Block(digestInfo_, 7);
    shortPadding.insert(shortPadding.begin() + 2, 256 - shortPadding.size(), 0x00);  // 00 01 00.. FF*7 00 DI

    const struct {
        const char* what;
        Bytes block;
        RsaStatus expected;
    } kCases[] = {
        {"the genuine block", Type1Block(digestInfo_), RsaStatus::Ok},
        {"garbage after the DigestInfo", Type1Block(Concat({digestInfo_, garbage})), RsaStatus::DigestInfoMismatch},
        {"short padding, DigestInfo, garbage", garbageAfter, RsaStatus::PaddingInvalid},
        {"garbage in the padding", garbageInPadding, RsaStatus::PaddingInvalid},
        {"zeros before seven FF", shortPadding, RsaStatus::PaddingInvalid},
        {"block type 2", Type1Block(digestInfo_, kFillBlock, 0x02), RsaStatus::PaddingInvalid},
        {"block type 0", Type1Block(digestInfo_, kFillBlock, 0x00), RsaStatus::PaddingInvalid},
        {"parameters other than NULL", Type1Block(otherParameters), RsaStatus::DigestInfoMismatch},
        {"NULL left out", Type1Block(Concat({PrefixWithoutNull(HashAlgorithm::Sha256), digest_})), RsaStatus::DigestInfoMismatch},
        {"long-form DER length", Type1Block(longFormLength), RsaStatus::DigestInfoMismatch},
        {"wrong digest", Type1Block(wrongDigest), RsaStatus::DigestInfoMismatch},
        {"SHA-1 DigestInfo", Type1Block(Concat({AsBytes(DigestInfoPrefix(HashAlgorithm::Sha1)), Bytes(digest_.begin(), digest_.begin() + 20)})), RsaStatus::DigestInfoMismatch},
        {"bare digest", Type1Block(digest_), RsaStatus::DigestInfoMismatch},
    };
    for (const auto& c : kCases) EXPECT_EQ(Verify(SignWithTestKey(c.block)), c.expected) << c.what;
}

TEST_F(RsaForgery, SignaturesOfTheWrongSizeOrRangeAreRefused) {
    const Bytes signature = SignWithTestKey(Type1Block(digestInfo_));
    ASSERT_EQ(Verify(signature), RsaStatus::Ok);

    const Bytes modulus = FromHex(kE3Modulus);
    Bytes modulusPlusOne = modulus;
    modulusPlusOne.back() += 1;
    // A signature whose value happens to start with a zero octet, to drop it.
    Bytes small(256, 0);
    small[255] = 2;
    const struct {
        const char* what;
        Bytes signature;
        RsaStatus expected;
    } kCases[] = {
        {"one octet short", Bytes(signature.begin() + 1, signature.end()), RsaStatus::SignatureLengthMismatch},
        {"extra leading zero", Concat({{0x00}, signature}), RsaStatus::SignatureLengthMismatch},
        {"leading zero dropped", Bytes(small.begin() + 1, small.end()), RsaStatus::SignatureLengthMismatch},
        {"empty", {}, RsaStatus::SignatureLengthMismatch},
        {"equal to the modulus", modulus, RsaStatus::SignatureOutOfRange},
        {"modulus plus one", modulusPlusOne, RsaStatus::SignatureOutOfRange},
        {"all FF", Bytes(256, 0xff), RsaStatus::SignatureOutOfRange},
        {"zero", Bytes(256, 0), RsaStatus::PaddingInvalid},
        {"one", [] { Bytes one(256, 0); one.back() = 1; return one; }(), RsaStatus::PaddingInvalid},
    };
    for (const auto& c : kCases) EXPECT_EQ(Verify(c.signature), c.expected) << c.what;

    RsaPublicKey unset;
    EXPECT_EQ(RsaVerifyPkcs1(unset, HashAlgorithm::Sha256, digest_, signature), RsaStatus::KeyNotSet);
    EXPECT_EQ(RsaVerifyPkcs1(key_, HashAlgorithm::Sha256, Bytes(digest_.begin(), digest_.end() - 1), signature),
              RsaStatus::DigestInfoMismatch);
    // The payload itself is checked on Wycheproof's NULL-less cases.
    std::array<uint8_t, 10> tooSmall{};
    size_t length = 99;
    EXPECT_EQ(RsaRecoverPayload(key_, signature, tooSmall, length), RsaStatus::BufferTooSmall);
    EXPECT_EQ(length, 0u);
}

}  // namespace
}  // namespace korva::crypto::test
