// The libcrypto peer's root lists, the generator's DER writer against
// libcrypto's, and its command line. That the well-formed catalogs verify with
// libcrypto, and what each malformation breaks, is checked beside the engine's
// verdicts (tests/catalog/GeneratedCatalogTest.cpp).
#include <gtest/gtest.h>

#include <openssl/objects.h>
#include <openssl/x509.h>

#include <string>

#include "tools/catgen/Catalog.h"
#include "tools/catgen/CommandLine.h"
#include "tools/peer/PeerVerifier.h"

namespace korva::catgen {
namespace {

template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, std::integral_constant<decltype(Free), Free>>;

class CatalogGenerator : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetKeyBits(1024); }
    Identity root_ = TestRoot("test-root", "Korva Generator Test Root");
    Identity tsaRoot_ = TestRoot("test-tsa-root", "Korva Generator Test TSA Root");

    Catalog Build(const CatalogOptions& options) {
        signer_ = SignerChainFor(root_, {}, options.malformation);
        timeStamper_ = TimeStamperChainFor(tsaRoot_, {}, options.malformation);
        return BuildCatalog(options, signer_, &timeStamper_);
    }

    Chain signer_, timeStamper_;
    const peer::PeerVerifier peer_{{CertificateDer(root_.cert)}, {CertificateDer(tsaRoot_.cert)}};
};

struct AnchorCase {
    bool codeSigningRoot;  // the signer's root among the code-signing roots
    bool stamperRootForCodeSigning;
    bool stamperRoot;      // the time-stamping root among the time-stamping roots
    Timestamp timestamp;
    bool accepted;
};

// Each chain must end in a root of its own purpose: a time-stamping root
// vouches for no signer, and a code-signing root for no time-stamper.
TEST_F(CatalogGenerator, ThePeerWantsEachChainToEndInARootOfItsOwnPurpose) {
    const AnchorCase cases[] = {
        {true, false, true, Timestamp::kPkcs9, true},
        {true, false, false, Timestamp::kNone, true},
        {false, true, true, Timestamp::kNone, false},
        {true, true, false, Timestamp::kPkcs9, false},
        {true, true, false, Timestamp::kRfc3161, false},
        {true, false, false, Timestamp::kRfc3161, false},
    };
    const Bytes root = CertificateDer(root_.cert);
    const Bytes tsaRoot = CertificateDer(tsaRoot_.cert);
    for (const AnchorCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.codeSigningRoot << c.stamperRootForCodeSigning << c.stamperRoot << " "
                                          << int(c.timestamp));
        std::vector<Bytes> codeSigning, timeStamping;
        if (c.codeSigningRoot) codeSigning.push_back(root);
        if (c.stamperRootForCodeSigning) codeSigning.push_back(tsaRoot);
        if (c.stamperRoot) timeStamping.push_back(tsaRoot);
        CatalogOptions options;
        options.trustList.members = SyntheticMembers(2, MemberHash::kSha256);
        options.timestamp = c.timestamp;
        const Bytes der = Build(options).der;
        EXPECT_EQ(peer::PeerVerifier(codeSigning, timeStamping).Verify(der).accepted, c.accepted);
        // Cut short, the same catalog is refused.
        if (c.accepted) {
            EXPECT_FALSE(peer_.Verify(Bytes(der.begin(), der.end() - 1)).accepted);
        }
    }
    EXPECT_FALSE(peer_.Verify({}).accepted);
}

TEST(CatalogGeneratorDer, EncodesLikeLibcrypto) {
    for (const char* dotted : {"1.2.840.113549.1.7.2", "2.999.1234567890123", "1.3.6.1.4.1.311.10.1", "0.9.2342"}) {
        Owned<ASN1_OBJECT, ASN1_OBJECT_free> object(OBJ_txt2obj(dotted, 1));
        unsigned char* der = nullptr;
        int size = i2d_ASN1_OBJECT(object.get(), &der);
        EXPECT_EQ(Oid(dotted), Bytes(der, der + size)) << dotted;
        OPENSSL_free(der);
    }
    for (int64_t value : {0LL, 127LL, 128LL, -1LL, -128LL, -129LL, 1600000000LL, -9000000000LL}) {
        Owned<ASN1_INTEGER, ASN1_INTEGER_free> integer(ASN1_INTEGER_new());
        ASN1_INTEGER_set_int64(integer.get(), value);
        unsigned char* der = nullptr;
        int size = i2d_ASN1_INTEGER(integer.get(), &der);
        EXPECT_EQ(Integer(value), Bytes(der, der + size)) << value;
        OPENSSL_free(der);
    }
    EXPECT_EQ(UnsignedInteger({0x00, 0x00, 0x80}), (Bytes{0x02, 0x02, 0x00, 0x80}));
    EXPECT_EQ(UtcTime(985395600), Tlv(kUniversal, 23, {'0', '1', '0', '3', '2', '4', '0', '1', '0', '0', '0', '0', 'Z'}));
}

struct CommandLineCase {
    std::vector<std::string> arguments;
    bool parses;
};

TEST(CatalogGeneratorCommandLine, ParsesWhatTheUsageNamesAndRefusesTheRest) {
    const CommandLineCase cases[] = {
        {{"-o", "x.cat", "--members", "5", "--hash", "sha1", "--timestamp", "rfc3161", "--malform", "bad-signature"}, true},
        {{"-o", "x.cat", "--signing-time", "20010323000000", "--signer-serial", "1b5190f73724399c9254cd424637996a"}, true},
        {{"-o", "x.cat", "--hash", "md5"}, false},
        {{"-o", "x.cat", "--malform", "no-such-thing"}, false},
        {{"-o", "x.cat", "--intermediates", "3"}, false},
        {{"-o", "x.cat", "--root-key", "k.pem"}, false},
        {{"--members", "2"}, false},
        {{"-o"}, false},
    };
    for (const CommandLineCase& c : cases) {
        CommandLine line;
        std::string error;
        EXPECT_EQ(ParseCommandLine(c.arguments, line, error), c.parses) << c.arguments.back() << ": " << error;
    }
    CommandLine line;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"-o", "x.cat", "--members", "5", "--signing-time", "20010323000000"}, line, error));
    EXPECT_EQ(line.catalog.trustList.members.size(), 5u);
    EXPECT_EQ(line.catalog.signingTime, 985305600);
}

}  // namespace
}  // namespace korva::catgen
