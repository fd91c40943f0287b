// PKCS #1 v1.5 signature blocks: the strict type-1 unpadding, the DigestInfo
// prefixes, and the checks built from them.
#include <algorithm>
#include <array>

#include "toolkit/crypto/Rsa.h"

namespace korva::crypto {

namespace {

constexpr size_t kMinPaddingOctets = 8;

// DER DigestInfo prefixes (RFC 8017 section 9.2, note 1; MD2 likewise).
constexpr std::array<uint8_t, 18> kMd2Prefix = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                                0x86, 0xf7, 0x0d, 0x02, 0x02, 0x05, 0x00, 0x04, 0x10};
constexpr std::array<uint8_t, 18> kMd5Prefix = {0x30, 0x20, 0x30, 0x0c, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                                0x86, 0xf7, 0x0d, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10};
constexpr std::array<uint8_t, 15> kSha1Prefix = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                                                 0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
constexpr std::array<uint8_t, 19> kSha256Prefix = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                                   0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
constexpr std::array<uint8_t, 19> kSha384Prefix = {0x30, 0x41, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                                   0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04, 0x30};
constexpr std::array<uint8_t, 19> kSha512Prefix = {0x30, 0x51, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                                   0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04, 0x40};

}  // namespace

ByteView DigestInfoPrefix(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::Md2: return kMd2Prefix;
        case HashAlgorithm::Md5: return kMd5Prefix;
        case HashAlgorithm::Sha1: return kSha1Prefix;
        case HashAlgorithm::Sha256: return kSha256Prefix;
        case HashAlgorithm::Sha384: return kSha384Prefix;
        case HashAlgorithm::Sha512: return kSha512Prefix;
    }
    return {};
}

RsaStatus Pkcs1Type1Unpad(ByteView block, ByteView& payload) {
    payload = {};
    if (block.size() < 2 + kMinPaddingOctets + 1 || block[0] != 0x00 || block[1] != 0x01) {
        return RsaStatus::PaddingInvalid;
    }
    const ByteView padding = block.subspan(2);
    const auto separator = std::find_if(padding.begin(), padding.end(), [](uint8_t b) { return b != 0xff; });
    const auto fillLength = static_cast<size_t>(separator - padding.begin());
    // The first non-FF octet must be the 00 separator, after enough FF, with
    // something after it.
    if (fillLength < kMinPaddingOctets || fillLength + 1 >= padding.size() || *separator != 0x00) {
        return RsaStatus::PaddingInvalid;
    }
    payload = padding.subspan(fillLength + 1);
    return RsaStatus::Ok;
}

RsaStatus RsaRecoverPayload(const RsaPublicKey& key, ByteView signature, MutableByteView out, size_t& payloadLength) {
    payloadLength = 0;
    std::array<uint8_t, kMaxModulusLength> buffer{};
    const MutableByteView block = MutableByteView(buffer).first(std::min(key.modulusLength(), buffer.size()));
    RsaStatus status = key.PublicOperation(signature, block);
    if (status != RsaStatus::Ok) return status;
    ByteView payload;
    status = Pkcs1Type1Unpad(block, payload);
    if (status != RsaStatus::Ok) return status;
    if (out.size() < payload.size()) return RsaStatus::BufferTooSmall;
    std::copy(payload.begin(), payload.end(), out.begin());
    payloadLength = payload.size();
    return RsaStatus::Ok;
}

RsaStatus RsaVerifyPkcs1(const RsaPublicKey& key, HashAlgorithm algorithm, ByteView digest, ByteView signature) {
    std::array<uint8_t, kMaxModulusLength> buffer{};
    size_t length = 0;
    const RsaStatus status = RsaRecoverPayload(key, signature, buffer, length);
    if (status != RsaStatus::Ok) return status;
    const ByteView payload = ByteView(buffer).first(length);
    const ByteView prefix = DigestInfoPrefix(algorithm);
    // Comparing the whole payload with the one valid encoding leaves no room
    // for trailing or embedded garbage.
    const bool matches = digest.size() == DigestLength(algorithm) && payload.size() == prefix.size() + digest.size() &&
                         std::equal(prefix.begin(), prefix.end(), payload.begin()) &&
                         std::equal(digest.begin(), digest.end(), payload.begin() + static_cast<ptrdiff_t>(prefix.size()));
    return matches ? RsaStatus::Ok : RsaStatus::DigestInfoMismatch;
}

}  // namespace korva::crypto
