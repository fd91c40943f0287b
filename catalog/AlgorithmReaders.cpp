#include "catalog/AlgorithmReaders.h"

#include <algorithm>

#include "catalog/CertDigestInfo.h"
#include "catalog/CertResult.h"
#include "platform/ByteReader.h"
#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace trace = korva::trace;
using korva::platform::ByteReader;
using korva::platform::ByteSpan;
using Info = CCertDigest::CInfo;

bool Equal(ByteSpan a, ByteSpan b) { return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin()); }

// The encoding of `length` octets that could be this row, and how it looks.
struct Candidate {
    const Info* info = nullptr;
    ByteSpan expected;
};

Candidate CandidateFor(ByteSpan encoding) {
    switch (encoding.size()) {
    case 11:
        return {&kSha1Info, kSha1Info.withNull()};
    case 9:
        return {&kSha1Info, kSha1Info.withoutParameters()};
    case 14:
        return {&kMd5Info, kMd5Info.withNull()};
    case 12:
        return {&kMd5Info, kMd5Info.withoutParameters()};
    case 13:
        return {&kSha256Info, kSha256Info.withoutParameters()};
    case 15: {
        // The thirteenth octet tells the SHA-2 identifiers apart; anything
        // else of this length can only be sha1WithRSAEncryption.
        ByteReader reader(encoding);
        uint8_t last = 0;
        const Info* sha2[] = {&kSha256Info, &kSha384Info, &kSha512Info};
        const Info* info = &kSha1RsaInfo;
        if (reader.Skip(12) && reader.PeekU8(last) && last >= 1 && last <= 3) info = sha2[last - 1];
        return {info, info->withNull()};
    }
    default:
        return {};
    }
}

constexpr uint8_t kRsaSignatureOid[] = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01};
constexpr uint8_t kNull[] = {0x05, 0x00};
constexpr uint32_t kSignatureContentsLength = sizeof(kRsaSignatureOid) + 1 + sizeof(kNull);

}  // namespace

uint32_t ReadDigestAlgorithm(const uint8_t* encoding, uint32_t length, uint32_t& id) {
    ByteSpan bytes(encoding, encoding == nullptr ? 0 : length);
    Candidate candidate = CandidateFor(bytes);
    if (candidate.info == nullptr) return kCertUnknownAlgorithm;
    if (!Equal(bytes, candidate.expected)) {
        trace::Emit(trace::Source::Crypto, 22, trace::Level::Information, {trace::Num(length)});
        return kCertToolkitFailure;
    }
    id = candidate.info->id();
    return kCertSuccess;
}

uint32_t ReadSignatureAlgorithm(const uint8_t* contents, uint32_t length, uint32_t& id) {
    if (contents == nullptr || length != kSignatureContentsLength) {
        trace::Emit(trace::Source::Crypto, 27, trace::Level::Information, {trace::Num(length)});
        return kCertNoMatch;
    }
    ByteReader reader(contents, length);
    uint8_t last = 0;
    bool matched = reader.SkipPrefix(kRsaSignatureOid) && reader.ReadU8(last) && reader.SkipPrefix(kNull);
    // rsaEncryption (1) and sha1WithRSAEncryption (5) carry SHA-1, sha256WithRSAEncryption (11) SHA-256.
    if (matched && (last == 1 || last == 5)) {
        id = kSignatureRsaSha1;
        return kCertSuccess;
    }
    if (matched && last == 11) {
        id = kSignatureRsaSha256;
        return kCertSuccess;
    }
    trace::Emit(trace::Source::Crypto, 28, trace::Level::Information);
    return kCertNoMatch;
}

}  // namespace TarnVerifyTrustDriver
