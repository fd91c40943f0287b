#include "catalog/KnownOids.h"

#include <bit>
#include <iterator>

namespace TarnVerifyTrustDriver {

namespace {

// The DER of each identifier (06, length, contents), searched in this order.
struct KnownOid {
    uint32_t flag;
    uint8_t der[16];
};

constexpr KnownOid kKnownOids[] = {
    {kOidSignedData, {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02}},  // 1.2.840.113549.1.7.2
    {kOidCertTrustList, {0x06, 0x09, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0A, 0x01}},  // 1.3.6.1.4.1.311.10.1
    {kOidIndirectData, {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04}},  // 1.3.6.1.4.1.311.2.1.4
    {kOidPeImageData, {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F}},  // 1.3.6.1.4.1.311.2.1.15
    {kOidMessageDigest, {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04}},  // 1.2.840.113549.1.9.4
    {kOidSystemComponentVerification, {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0A, 0x03, 0x06}},  // 1.3.6.1.4.1.311.10.3.6
    {kOidHardwareDriverVerification, {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0A, 0x03, 0x05}},  // 1.3.6.1.4.1.311.10.3.5
    {kOidCodeSigning, {0x06, 0x08, 0x2B, 0x06, 0x01, 0x05, 0x05, 0x07, 0x03, 0x03}},  // 1.3.6.1.5.5.7.3.3
    {kOidExtendedKeyUsage, {0x06, 0x03, 0x55, 0x1D, 0x25}},  // 2.5.29.37
    {kOidCatalogList, {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0C, 0x01, 0x01}},  // 1.3.6.1.4.1.311.12.1.1
    {kOidCatalogListMember, {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0C, 0x01, 0x02}},  // 1.3.6.1.4.1.311.12.1.2
    {kOidSha1, {0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A}},  // 1.3.14.3.2.26 SHA-1
    {kOidMd5, {0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05}},  // 1.2.840.113549.2.5 MD5
    {kOidIndividualCodeSigning, {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x15}},  // 1.3.6.1.4.1.311.2.1.21
    {kOidCommercialCodeSigning, {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x16}},  // 1.3.6.1.4.1.311.2.1.22
    {kOidCountersignature, {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x06}},  // 1.2.840.113549.1.9.6
    {kOidAuthorityKeyIdentifier, {0x06, 0x03, 0x55, 0x1D, 0x23}},  // 2.5.29.35
    {kOidSubjectKeyIdentifier, {0x06, 0x03, 0x55, 0x1D, 0x0E}},  // 2.5.29.14
    {kOidSigningTime, {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05}},  // 1.2.840.113549.1.9.5
};

constexpr size_t kRows = std::size(kKnownOids);
static_assert(kRows <= 32, "one bit per row");
static_assert(sizeof(KnownOid::der) - 2 <= kMaxKeyedOidLength, "a key covers every octet of a row");

// For each last octet, the rows whose identifier ends in it, one bit per
// row: identifiers under one arc share long prefixes and mostly differ only
// at the end, so a lookup compares at most a row or two, by their keys.
struct KnownOidIndex {
    uint32_t rows[256] = {};
    OidKey keys[kRows] = {};
    constexpr KnownOidIndex() {
        for (size_t i = 0; i < kRows; ++i) {
            const uint8_t* contents = kKnownOids[i].der + 2;
            size_t length = kKnownOids[i].der[1];
            rows[contents[length - 1]] |= uint32_t{1} << i;
            keys[i] = KeyOf(contents, length);
        }
    }
};
constexpr KnownOidIndex kIndex;

}  // namespace

uint32_t KnownOidFlag(korva::platform::ByteSpan contents) {
    if (contents.empty()) return 0;
    uint32_t rows = kIndex.rows[contents.back()];
    if (rows == 0) return 0;
    const OidKey key = KeyOf(contents.data(), contents.size());
    // Lowest bit first: the first row in table order wins.
    for (; rows != 0; rows &= rows - 1) {
        int row = std::countr_zero(rows);
        if (kKnownOids[row].der[1] == contents.size() && kIndex.keys[row] == key) return kKnownOids[row].flag;
    }
    return 0;
}

}  // namespace TarnVerifyTrustDriver
