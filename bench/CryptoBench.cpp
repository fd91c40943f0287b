// Throughput of our digests and RSA verification next to libcrypto's. The
// pairs share inputs; compare each *_Ours with its *_OpenSSL line.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <random>
#include <vector>

#include "toolkit/crypto/Hash.h"
#include "toolkit/crypto/Rsa.h"

namespace {

using korva::crypto::HashAlgorithm;
using Bytes = std::vector<uint8_t>;

constexpr size_t kBlock = 64 * 1024;

const Bytes& Input() {
    static const Bytes data = [] {
        Bytes d(kBlock);
        std::mt19937 rng(1);
        for (uint8_t& b : d) b = static_cast<uint8_t>(rng());
        return d;
    }();
    return data;
}

void HashOurs(benchmark::State& state, HashAlgorithm algorithm) {
    korva::crypto::HashContext context(algorithm);
    for (auto _ : state) {
        context.Update(Input());
        benchmark::DoNotOptimize(context.Final());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBlock));
}

void HashOpenSsl(benchmark::State& state, const char* name) {
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_DigestInit_ex2(context, md, nullptr);
        EVP_DigestUpdate(context, Input().data(), Input().size());
        EVP_DigestFinal_ex(context, out, &length);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBlock));
    EVP_MD_CTX_free(context);
    EVP_MD_free(md);
}

void Sha1_Ours(benchmark::State& s) { HashOurs(s, HashAlgorithm::Sha1); }
void Sha1_OpenSSL(benchmark::State& s) { HashOpenSsl(s, "SHA1"); }
void Sha256_Ours(benchmark::State& s) { HashOurs(s, HashAlgorithm::Sha256); }
void Sha256_OpenSSL(benchmark::State& s) { HashOpenSsl(s, "SHA256"); }
void Sha512_Ours(benchmark::State& s) { HashOurs(s, HashAlgorithm::Sha512); }
void Sha512_OpenSSL(benchmark::State& s) { HashOpenSsl(s, "SHA512"); }

// One signed SHA-256 digest per key size, made once with libcrypto.
struct SignedDigest {
    EVP_PKEY* key = nullptr;
    Bytes modulus, exponent, digest, signature;
};

Bytes Parameter(EVP_PKEY* key, const char* name) {
    BIGNUM* value = nullptr;
    EVP_PKEY_get_bn_param(key, name, &value);
    Bytes out(static_cast<size_t>(BN_num_bytes(value)));
    BN_bn2bin(value, out.data());
    BN_free(value);
    return out;
}

const SignedDigest& Fixture(int bits) {
    static SignedDigest fixtures[2];
    SignedDigest& f = fixtures[bits == 4096 ? 1 : 0];
    if (f.key != nullptr) return f;
    EVP_PKEY_CTX* generator = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
    EVP_PKEY_keygen_init(generator);
    EVP_PKEY_CTX_set_rsa_keygen_bits(generator, bits);
    EVP_PKEY_generate(generator, &f.key);
    EVP_PKEY_CTX_free(generator);
    f.modulus = Parameter(f.key, OSSL_PKEY_PARAM_RSA_N);
    f.exponent = Parameter(f.key, OSSL_PKEY_PARAM_RSA_E);
    const korva::crypto::Digest d = korva::crypto::Hash(HashAlgorithm::Sha256, Input());
    f.digest.assign(d.bytes.begin(), d.bytes.begin() + static_cast<ptrdiff_t>(d.length));

    EVP_PKEY_CTX* signer = EVP_PKEY_CTX_new(f.key, nullptr);
    EVP_PKEY_sign_init(signer);
    EVP_PKEY_CTX_set_rsa_padding(signer, RSA_PKCS1_PADDING);
    EVP_PKEY_CTX_set_signature_md(signer, EVP_sha256());
    size_t length = static_cast<size_t>(bits / 8);
    f.signature.resize(length);
    EVP_PKEY_sign(signer, f.signature.data(), &length, f.digest.data(), f.digest.size());
    EVP_PKEY_CTX_free(signer);
    return f;
}

void RsaVerifyOurs(benchmark::State& state, int bits) {
    const SignedDigest& f = Fixture(bits);
    korva::crypto::RsaPublicKey key;
    if (key.Init(f.modulus, f.exponent) != korva::crypto::RsaStatus::Ok) return state.SkipWithError("key refused");
    for (auto _ : state) {
        if (RsaVerifyPkcs1(key, HashAlgorithm::Sha256, f.digest, f.signature) != korva::crypto::RsaStatus::Ok) {
            return state.SkipWithError("signature refused");
        }
    }
}

void RsaVerifyOpenSsl(benchmark::State& state, int bits) {
    const SignedDigest& f = Fixture(bits);
    EVP_PKEY_CTX* verifier = EVP_PKEY_CTX_new(f.key, nullptr);
    EVP_PKEY_verify_init(verifier);
    EVP_PKEY_CTX_set_rsa_padding(verifier, RSA_PKCS1_PADDING);
    EVP_PKEY_CTX_set_signature_md(verifier, EVP_sha256());
    for (auto _ : state) {
        if (EVP_PKEY_verify(verifier, f.signature.data(), f.signature.size(), f.digest.data(), f.digest.size()) != 1) {
            state.SkipWithError("signature refused");
            break;
        }
    }
    EVP_PKEY_CTX_free(verifier);
}

void RsaVerify2048_Ours(benchmark::State& s) { RsaVerifyOurs(s, 2048); }
void RsaVerify2048_OpenSSL(benchmark::State& s) { RsaVerifyOpenSsl(s, 2048); }
void RsaVerify4096_Ours(benchmark::State& s) { RsaVerifyOurs(s, 4096); }
void RsaVerify4096_OpenSSL(benchmark::State& s) { RsaVerifyOpenSsl(s, 4096); }

}  // namespace

// The build machines are shared, so besides mean and median each repeated
// run reports its fastest repetition, the least disturbed figure.
double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
#define KORVA_BENCHMARK(name) BENCHMARK(name)->ComputeStatistics("min", Fastest)

KORVA_BENCHMARK(Sha1_Ours);
KORVA_BENCHMARK(Sha1_OpenSSL);
KORVA_BENCHMARK(Sha256_Ours);
KORVA_BENCHMARK(Sha256_OpenSSL);
KORVA_BENCHMARK(Sha512_Ours);
KORVA_BENCHMARK(Sha512_OpenSSL);
KORVA_BENCHMARK(RsaVerify2048_Ours);
KORVA_BENCHMARK(RsaVerify2048_OpenSSL);
KORVA_BENCHMARK(RsaVerify4096_Ours);
KORVA_BENCHMARK(RsaVerify4096_OpenSSL);
