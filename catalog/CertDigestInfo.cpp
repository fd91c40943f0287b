#include "catalog/CertDigestInfo.h"

#include "platform/Trace.h"
#include "toolkit/AlgorithmObject.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace toolkit = korva::toolkit;
using Bytes = korva::platform::ByteSpan;

constexpr uint8_t kSha1WithNull[] = {0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00};
constexpr uint8_t kSha1Bare[] = {0x30, 0x07, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A};
constexpr uint8_t kSha1Prefix[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14};

constexpr uint8_t kMd5WithNull[] = {0x30, 0x0C, 0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05, 0x05, 0x00};
constexpr uint8_t kMd5Bare[] = {0x30, 0x0A, 0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05};
constexpr uint8_t kMd5Prefix[] = {0x30, 0x20, 0x30, 0x0C, 0x06, 0x08, 0x2A, 0x86, 0x48,
                                  0x86, 0xF7, 0x0D, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10};

// The SHA-2 identifiers differ only in their last content octet.
#define KORVA_SHA2_WITH_NULL(n) {0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, n, 0x05, 0x00}
#define KORVA_SHA2_PREFIX(n, outer, length) \
    {0x30, outer, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, n, 0x05, 0x00, 0x04, length}
constexpr uint8_t kSha256WithNull[] = KORVA_SHA2_WITH_NULL(0x01);
constexpr uint8_t kSha256Bare[] = {0x30, 0x0B, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
constexpr uint8_t kSha256Prefix[] = KORVA_SHA2_PREFIX(0x01, 0x31, 0x20);
constexpr uint8_t kSha384WithNull[] = KORVA_SHA2_WITH_NULL(0x02);
constexpr uint8_t kSha384Prefix[] = KORVA_SHA2_PREFIX(0x02, 0x41, 0x30);
constexpr uint8_t kSha512WithNull[] = KORVA_SHA2_WITH_NULL(0x03);
constexpr uint8_t kSha512Prefix[] = KORVA_SHA2_PREFIX(0x03, 0x51, 0x40);
#undef KORVA_SHA2_WITH_NULL
#undef KORVA_SHA2_PREFIX

constexpr uint8_t kSha1RsaWithNull[] = {0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                        0xF7, 0x0D, 0x01, 0x01, 0x05, 0x05, 0x00};
constexpr uint8_t kSha1RsaPrefix[] = {0x30, 0x25, 0x30, 0x0D, 0x06, 0x09, 0x2A, 0x86, 0x48, 0x86,
                                      0xF7, 0x0D, 0x01, 0x01, 0x05, 0x05, 0x00, 0x04, 0x14};

const CCertDigest::CInfo* const kKnown[] = {&kSha1Info, &kMd5Info, &kSha256Info, &kSha384Info, &kSha512Info, &kSha1RsaInfo};

template <typename Matches>
const CCertDigest::CInfo& Find(Matches matches) {
    for (const CCertDigest::CInfo* info : kKnown) {
        if (matches(*info)) return *info;
    }
    korva::trace::Emit(korva::trace::Source::Crypto, 10, korva::trace::Level::Warning);
    return kUnknownInfo;
}

}  // namespace

const CSHA1Info kSha1Info;
const CMD5Info kMd5Info;
const CSHA256Info kSha256Info;
const CSHA384Info kSha384Info;
const CSHA512Info kSha512Info;
const CSHA1RSAInfo kSha1RsaInfo;
const CUnknownInfo kUnknownInfo;

CSHA1Info::CSHA1Info() : CInfo(1, toolkit::kAlgorithmSha1, 20, kSha1WithNull, kSha1Bare, kSha1Prefix) {}
CMD5Info::CMD5Info() : CInfo(2, toolkit::kAlgorithmMd5, 16, kMd5WithNull, kMd5Bare, kMd5Prefix) {}
CSHA256Info::CSHA256Info() : CInfo(3, toolkit::kAlgorithmSha256, 32, kSha256WithNull, kSha256Bare, kSha256Prefix) {}
CSHA384Info::CSHA384Info() : CInfo(4, toolkit::kAlgorithmSha384, 48, kSha384WithNull, {}, kSha384Prefix) {}
CSHA512Info::CSHA512Info() : CInfo(5, toolkit::kAlgorithmSha512, 64, kSha512WithNull, {}, kSha512Prefix) {}
CSHA1RSAInfo::CSHA1RSAInfo() : CInfo(1, toolkit::kAlgorithmSha1, 20, kSha1RsaWithNull, {}, kSha1RsaPrefix) {}
CUnknownInfo::CUnknownInfo() : CInfo(0, 0, 0, {}, {}, {}) {}

void CCertDigest::CInfo::TraceDigest(const uint8_t* digest, uint32_t length) const {
    korva::platform::ByteReader reader(digest, length);
    uint8_t octet = 0;
    for (uint32_t index = 0; reader.ReadU8(octet); ++index) {
        korva::trace::Emit(korva::trace::Source::Crypto, 8, korva::trace::Level::Information,
                           {korva::trace::Num(index), korva::trace::Num(octet)});
    }
}

const CCertDigest::CInfo& CCertDigest::CInfo::ById(uint32_t id) {
    return Find([id](const CInfo& info) { return info.id() == id; });
}

const CCertDigest::CInfo& CCertDigest::CInfo::ByDigestLength(uint32_t length) {
    return Find([length](const CInfo& info) { return info.digestLength() == length; });
}

const CCertDigest::CInfo& CCertDigest::CInfo::ByDigestInfoLength(uint32_t length) {
    return Find([length](const CInfo& info) { return info.digestInfoLength() == length; });
}

}  // namespace TarnVerifyTrustDriver
