#include "catalog/KnownOids.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/common/Bytes.h"
#include "tools/catgen/Der.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::test::Bytes;

struct Row {
    const char* dotted;
    uint32_t flag;
};

constexpr Row kRows[] = {
    {"1.2.840.113549.1.7.2", kOidSignedData},
    {"1.3.6.1.4.1.311.10.1", kOidCertTrustList},
    {"1.3.6.1.4.1.311.2.1.4", kOidIndirectData},
    {"1.3.6.1.4.1.311.2.1.15", kOidPeImageData},
    {"1.2.840.113549.1.9.4", kOidMessageDigest},
    {"1.3.6.1.4.1.311.10.3.6", kOidSystemComponentVerification},
    {"1.3.6.1.4.1.311.10.3.5", kOidHardwareDriverVerification},
    {"1.3.6.1.5.5.7.3.3", kOidCodeSigning},
    {"2.5.29.37", kOidExtendedKeyUsage},
    {"1.3.6.1.4.1.311.12.1.1", kOidCatalogList},
    {"1.3.6.1.4.1.311.12.1.2", kOidCatalogListMember},
    {"1.3.14.3.2.26", kOidSha1},
    {"1.2.840.113549.2.5", kOidMd5},
    {"1.3.6.1.4.1.311.2.1.21", kOidIndividualCodeSigning},
    {"1.3.6.1.4.1.311.2.1.22", kOidCommercialCodeSigning},
    {"1.2.840.113549.1.9.6", kOidCountersignature},
    {"2.5.29.35", kOidAuthorityKeyIdentifier},
    {"2.5.29.14", kOidSubjectKeyIdentifier},
    {"1.2.840.113549.1.9.5", kOidSigningTime},
};

Bytes Contents(const char* dotted) {
    Bytes der = korva::catgen::Oid(dotted);
    return Bytes(der.begin() + 2, der.end());
}

// The oracle: an exact search of the rows' contents.
uint32_t ExpectedFlag(const Bytes& contents) {
    for (const Row& row : kRows) {
        if (Contents(row.dotted) == contents) return row.flag;
    }
    return 0;
}

// Each row from its dotted form, every one-bit change of each of its octets,
// and the row one octet shorter or longer: a lookup answers what an exact
// search answers, so no octet of an identifier goes unseen.
TEST(KnownOids, AnswersWhatAnExactSearchAnswers) {
    for (const Row& row : kRows) {
        const Bytes contents = Contents(row.dotted);
        EXPECT_EQ(KnownOidFlag(contents), row.flag) << row.dotted;
        std::vector<Bytes> variants = {Bytes(contents.begin(), contents.end() - 1), contents, Bytes(1, 0x01)};
        variants[1].push_back(contents.back());
        variants[2].insert(variants[2].end(), contents.begin(), contents.end());
        for (size_t i = 0; i < contents.size(); ++i) {
            for (uint8_t bit = 1; bit != 0; bit = static_cast<uint8_t>(bit << 1)) {
                variants.push_back(contents);
                variants.back()[i] ^= bit;
            }
        }
        for (const Bytes& variant : variants) {
            EXPECT_EQ(KnownOidFlag(variant), ExpectedFlag(variant)) << row.dotted << " " << ::testing::PrintToString(variant);
        }
    }
    EXPECT_EQ(KnownOidFlag({}), 0u);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
