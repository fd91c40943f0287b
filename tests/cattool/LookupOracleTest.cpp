// The Authenticode digest against osslsigncode's own: on PE images it signed
// with a signer libcrypto makes, and on unsigned ones whose size is no
// multiple of 8. The command cases check lookup against digests computed
// independently of the tool.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/TextConversion.h"
#include "tests/cattool/TestPe.h"
#include "tests/common/TempFiles.h"
#include "tools/cattool/PeImage.h"
#include "tools/cattool/Text.h"

namespace korva::cattool::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A throwaway self-signed signer for osslsigncode.
void WriteSigner(const std::string& key, const std::string& certificate) {
    EVP_PKEY* pkey = EVP_RSA_gen(2048);
    X509* x509 = X509_new();
    X509_set_version(x509, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509), 1);
    X509_gmtime_adj(X509_getm_notBefore(x509), 0);
    X509_gmtime_adj(X509_getm_notAfter(x509), 86400);
    X509_set_pubkey(x509, pkey);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(x509), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Korva Test"), -1, -1, 0);
    X509_set_issuer_name(x509, X509_get_subject_name(x509));
    X509_sign(x509, pkey, EVP_sha256());
    FILE* file = std::fopen(key.c_str(), "w");
    PEM_write_PrivateKey(file, pkey, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(file);
    file = std::fopen(certificate.c_str(), "w");
    PEM_write_X509(file, x509);
    std::fclose(file);
    X509_free(x509);
    EVP_PKEY_free(pkey);
}

// osslsigncode signs a PE (the test image, and the Windows build of
// KorvaCatalogDB when it is there) and reports the Authenticode digest it
// calculates; ours of the signed file must be the same.
TEST(LookupOracle, AgreesWithOsslsigncodeOnSignedImages) {
    if (std::system("command -v osslsigncode >/dev/null 2>&1") != 0) GTEST_SKIP() << "osslsigncode is not installed";
    test_support::TempDirectory directory;
    const std::string dir = directory.path().string();
    WriteSigner(dir + "/key.pem", dir + "/cert.pem");
    std::vector<std::string> images = {dir + "/test.exe"};
    test_support::WriteBytes(platform::Utf8ToWide(images[0]), MakeTestPe({}, 0).bytes);
    for (const char* tree : {"/out/windows", "/out/win"}) {
        const std::string built = std::string(KORVA_SOURCE_DIR) + tree + "/frontend/KorvaCatalogDB.exe";
        if (std::ifstream(built).good()) images.push_back(built);
    }
    for (const std::string& image : images) {
        SCOPED_TRACE(image);
        const std::string signedImage = dir + "/signed.exe";
        std::remove(signedImage.c_str());
        std::string sign = "osslsigncode sign -certs " + dir + "/cert.pem -key " + dir + "/key.pem -h sha256 -in '" + image +
                           "' -out " + signedImage + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(sign.c_str()), 0);
        std::string verify = "osslsigncode verify -in " + signedImage + " 2>/dev/null | sed -n 's/^Calculated message digest *: *//p' > " +
                             dir + "/digest.txt";
        ASSERT_EQ(std::system(verify.c_str()), 0);
        std::ifstream in(dir + "/digest.txt");
        std::string expected;
        in >> expected;
        for (char& c : expected) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const Bytes bytes = test_support::ReadFile(platform::Utf8ToWide(signedImage));
        ImageLayout layout = LayOutImage(bytes);
        EXPECT_EQ(layout.kind, ImageKind::Pe);
        crypto::Digest digest = DigestImage(bytes, layout, crypto::HashAlgorithm::Sha256);
        EXPECT_EQ(Hex(digest.view()), expected);
    }
}

// An unsigned image whose size is no multiple of 8: signing would pad it
// with zeros, and its digest counts them. osslsigncode's digest of the
// unsigned image (what extract-data puts in the indirect data) must match.
TEST(LookupOracle, AgreesWithOsslsigncodeOnUnsignedUnalignedImages) {
    if (std::system("command -v osslsigncode >/dev/null 2>&1") != 0) GTEST_SKIP() << "osslsigncode is not installed";
    test_support::TempDirectory directory;
    const std::string dir = directory.path().string();
    std::vector<Bytes> images = {MakeTestPe({}, 0).bytes};
    for (const char* tree : {"/out/windows", "/out/win"}) {
        const std::string built = std::string(KORVA_SOURCE_DIR) + tree + "/frontend/KorvaCatalogDB.exe";
        if (std::ifstream(built).good()) images.push_back(test_support::ReadFile(platform::Utf8ToWide(built)));
    }
    // SHA-256's AlgorithmIdentifier with NULL parameters, then the digest's OCTET STRING header.
    const Bytes digestInfo = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    for (Bytes image : images) {
        image.insert(image.end(), {0x5A, 0xA5, 0x5A});
        if (image.size() % 8 == 0) image.push_back(0);
        SCOPED_TRACE(image.size());
        test_support::WriteBytes(platform::Utf8ToWide(dir + "/unsigned.exe"), image);
        std::string extract = "osslsigncode extract-data -h sha256 -in " + dir + "/unsigned.exe -out " + dir +
                              "/data.der >/dev/null 2>&1";
        ASSERT_EQ(std::system(extract.c_str()), 0);
        const Bytes data = test_support::ReadFile(platform::Utf8ToWide(dir + "/data.der"));
        auto at = std::search(data.begin(), data.end(), digestInfo.begin(), digestInfo.end());
        ASSERT_LE(at + digestInfo.size() + 32, data.end());
        const Bytes expected(at + digestInfo.size(), at + digestInfo.size() + 32);
        ImageLayout layout = LayOutImage(image);
        EXPECT_EQ(layout.kind, ImageKind::Pe);
        EXPECT_EQ(Hex(DigestImage(image, layout, crypto::HashAlgorithm::Sha256).view()), Hex(expected));
        std::remove((dir + "/data.der").c_str());
    }
}

}  // namespace
}  // namespace korva::cattool::test
