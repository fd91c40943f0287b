// Decoding every distinct certificate of the shared real catalogs, ours next
// to libcrypto's. Ours: CertSetEncoding, then CertGetEncoding in mode 1 (the
// canonical and key checks the engine asks for) and the fields; libcrypto:
// d2i_X509 and reading the same fields.
#include <benchmark/benchmark.h>
#include <openssl/asn1.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "toolkit/Certificate.h"

namespace {

namespace tk = korva::toolkit;
using Bytes = std::vector<uint8_t>;

// Every certificate the catalogs embed, once each.
const std::vector<Bytes>& Certificates() {
    static const std::vector<Bytes> certs = [] {
        std::set<Bytes> distinct;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(KORVA_SHARED_DIR "/realcats", error)) {
            if (entry.path().extension() != ".cat") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            Bytes file((std::istreambuf_iterator<char>(in)), {});
            const unsigned char* p = file.data();
            PKCS7* p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(file.size()));
            STACK_OF(X509)* stack = p7 != nullptr && PKCS7_type_is_signed(p7) ? p7->d.sign->cert : nullptr;
            for (int i = 0; stack != nullptr && i < sk_X509_num(stack); ++i) {
                unsigned char* der = nullptr;
                int length = i2d_X509(sk_X509_value(stack, i), &der);
                if (length > 0) distinct.insert(Bytes(der, der + length));
                OPENSSL_free(der);
            }
            PKCS7_free(p7);
        }
        return std::vector<Bytes>(distinct.begin(), distinct.end());
    }();
    return certs;
}

void CertDecode_Ours(benchmark::State& state) {
    const std::vector<Bytes>& certs = Certificates();
    if (certs.empty()) state.SkipWithError("no certificates under " KORVA_SHARED_DIR "/realcats");
    for (auto _ : state) {
        for (const Bytes& der : certs) {
            tk::CertObject* cert = nullptr;
            tk::CertCreate(&cert, nullptr);
            tk::CertSetEncoding(cert, der.data(), static_cast<uint32_t>(der.size()));
            const uint8_t* encoding = nullptr;
            uint32_t length = 0;
            benchmark::DoNotOptimize(tk::CertGetEncoding(cert, tk::kCertEncodingStrict, &encoding, &length));
            tk::CertFields fields{};
            tk::CertGetFields(cert, &fields);
            benchmark::DoNotOptimize(fields);
            tk::CertFree(&cert);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * certs.size()));
}

void CertDecode_OpenSSL(benchmark::State& state) {
    const std::vector<Bytes>& certs = Certificates();
    if (certs.empty()) state.SkipWithError("no certificates under " KORVA_SHARED_DIR "/realcats");
    for (auto _ : state) {
        for (const Bytes& der : certs) {
            const unsigned char* p = der.data();
            X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
            if (x == nullptr) continue;
            benchmark::DoNotOptimize(X509_get_version(x));
            benchmark::DoNotOptimize(X509_get0_serialNumber(x));
            benchmark::DoNotOptimize(X509_get_signature_nid(x));
            benchmark::DoNotOptimize(X509_get_issuer_name(x));
            benchmark::DoNotOptimize(X509_get_subject_name(x));
            struct tm notBefore {};
            struct tm notAfter {};
            ASN1_TIME_to_tm(X509_get0_notBefore(x), &notBefore);
            ASN1_TIME_to_tm(X509_get0_notAfter(x), &notAfter);
            benchmark::DoNotOptimize(X509_get0_pubkey(x));
            for (int i = 0; i < X509_get_ext_count(x); ++i) {
                const X509_EXTENSION* extension = X509_get_ext(x, i);
                benchmark::DoNotOptimize(X509_EXTENSION_get_object(const_cast<X509_EXTENSION*>(extension)));
                benchmark::DoNotOptimize(X509_EXTENSION_get_critical(extension));
            }
            X509_free(x);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * certs.size()));
}

}  // namespace

BENCHMARK(CertDecode_Ours);
BENCHMARK(CertDecode_OpenSSL);
