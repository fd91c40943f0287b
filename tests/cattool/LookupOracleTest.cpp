// lookup against digests computed independently: libcrypto over the whole
// file with the three excluded ranges cut out, and osslsigncode's own
// Authenticode digest of a PE it signed when it is installed.
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include "platform/TextConversion.h"
#include "tests/cattool/TestPe.h"
#include "tests/cattool/ToolTestSupport.h"
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

}  // namespace
}  // namespace korva::cattool::test
