// lookup against digests computed independently: libcrypto over the whole
// file with the three excluded ranges cut out, and osslsigncode's own
// Authenticode digest of a PE it signed when it is installed.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/TextConversion.h"
#include "tests/cattool/TestPe.h"
#include "tests/cattool/ToolTestSupport.h"
#include "tools/cattool/PeImage.h"
#include "tools/cattool/Text.h"

namespace korva::cattool::test {
namespace {

using tvt::test::Bytes;

Bytes OpenSslDigest(const EVP_MD* md, const Bytes& bytes, std::vector<std::pair<size_t, size_t>> skip) {
    Bytes kept;
    for (size_t i = 0; i < bytes.size(); ++i) {
        bool skipped = false;
        for (auto [from, size] : skip) skipped = skipped || (i >= from && i < from + size);
        if (!skipped) kept.push_back(bytes[i]);
    }
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned size = 0;
    EXPECT_EQ(EVP_Digest(kept.data(), kept.size(), digest.data(), &size, md, nullptr), 1);
    digest.resize(size);
    return digest;
}

tvt::MemberHash Member(const Bytes& digest) {
    tvt::MemberHash hash;
    std::copy(digest.begin(), digest.end(), hash.bytes);
    hash.length = static_cast<uint32_t>(digest.size());
    return hash;
}

TEST(LookupOracle, FindsPeImagesAndOtherFilesByTheDigestsACatalogLists) {
    test_support::TempDirectory directory;
    const Bytes certificate(24, 0x5A);
    TestPe signed_ = MakeTestPe(certificate, 0xCAFE);
    const std::vector<std::pair<size_t, size_t>> excluded = {
        {signed_.checkSum, 4}, {signed_.certificateEntry, 8}, {signed_.certificateOffset, certificate.size()}};
    const Bytes peSha1 = OpenSslDigest(EVP_sha1(), signed_.bytes, excluded);
    const Bytes peSha256 = OpenSslDigest(EVP_sha256(), signed_.bytes, excluded);
    const Bytes inf = tvt::test::Text("[Version]\r\nSignature=\"$Windows NT$\"\r\n");
    const Bytes infSha1 = OpenSslDigest(EVP_sha1(), inf, {});
    const Bytes infSha256 = OpenSslDigest(EVP_sha256(), inf, {});

    // One catalog lists the image's SHA-256 and the .inf's SHA-1, as real
    // catalogs list one digest per member.
    tvt::test::FakeCatalog catalog{{tvt::test::Text("Signer"), tvt::test::Text("Root"), Bytes{1}, Bytes(20, 1)},
                                   {Member(peSha256), Member(infSha1)}};
    BuildDatabase(directory, {{L"Z:\\driver.cat", catalog}});
    const std::wstring pe = directory.File(L"driver.sys");
    const std::wstring unsignedPe = directory.File(L"unsigned.sys");
    const std::wstring infFile = directory.File(L"driver.inf");
    test_support::WriteBytes(pe, signed_.bytes);
    test_support::WriteBytes(unsignedPe, MakeTestPe({}, 0).bytes);
    test_support::WriteBytes(infFile, inf);

    CommandOutput output;
    int code = RunTool({L"lookup", L"--json", directory.File(L"Cat.DB"), pe, unsignedPe, infFile}, output);
    EXPECT_EQ(code, 0) << output.err;
    const std::string parts[] = {
             "\"kind\":\"pe\",\"problem\":null,\"found\":true,\"digests\":[{\"algorithm\":\"sha1\",\"hex\":\"" + Hex(peSha1) +
                 "\",\"found\":false,\"record\":null,\"paths\":[],\"subject\":null},{\"algorithm\":\"sha256\",\"hex\":\"" +
                 Hex(peSha256) + "\",\"found\":true,\"record\":0,\"paths\":[\"Z:\\\\driver.cat\"],\"subject\":\"Signer\"}]}",
             // Signing does not change an image's digest: the unsigned copy is found too.
             "unsigned.sys\",\"kind\":\"pe\",\"problem\":null,\"found\":true",
             "\"kind\":\"flat\",\"problem\":null,\"found\":true,\"digests\":[{\"algorithm\":\"sha1\",\"hex\":\"" + Hex(infSha1) +
                 "\",\"found\":true",
             "{\"algorithm\":\"sha256\",\"hex\":\"" + Hex(infSha256) + "\",\"found\":false",
    };
    for (const std::string& part : parts) {
        EXPECT_NE(output.out.find(part), std::string::npos) << part << "\n" << output.out;
    }
    // A file no catalog lists.
    test_support::WriteBytes(infFile, tvt::test::Text("changed"));
    CommandOutput missing;
    EXPECT_EQ(RunTool({L"lookup", directory.File(L"Cat.DB"), infFile}, missing), 1);
    EXPECT_NE(missing.out.find("driver.inf (flat): not found"), std::string::npos) << missing.out;
}

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
        const Bytes bytes = test_support::ReadBytes(platform::Utf8ToWide(signedImage));
        ImageLayout layout = LayOutImage(bytes);
        EXPECT_EQ(layout.kind, ImageKind::Pe);
        crypto::Digest digest = DigestImage(bytes, layout, crypto::HashAlgorithm::Sha256);
        EXPECT_EQ(Hex(digest.view()), expected);
    }
}

}  // namespace
}  // namespace korva::cattool::test
