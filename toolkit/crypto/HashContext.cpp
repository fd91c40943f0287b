#include "toolkit/crypto/Hash.h"

#include <algorithm>

#include "platform/ByteWriter.h"
#include "toolkit/crypto/HashCores.h"

namespace korva::crypto {

namespace {

constexpr std::array<uint32_t, 4> kMd5Initial = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
constexpr std::array<uint32_t, 5> kSha1Initial = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
constexpr std::array<uint32_t, 8> kSha256Initial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
constexpr std::array<uint64_t, 8> kSha384Initial = {
    0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17, 0x152fecd8f70e5939,
    0x67332667ffc00b31, 0x8eb44a8768581511, 0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
constexpr std::array<uint64_t, 8> kSha512Initial = {
    0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
    0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

size_t BlockSize(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::Md2: return 16;
        case HashAlgorithm::Sha384:
        case HashAlgorithm::Sha512: return 128;
        default: return 64;
    }
}

}  // namespace

size_t DigestLength(HashAlgorithm algorithm) {
    switch (algorithm) {
        case HashAlgorithm::Md2:
        case HashAlgorithm::Md5: return 16;
        case HashAlgorithm::Sha1: return 20;
        case HashAlgorithm::Sha256: return 32;
        case HashAlgorithm::Sha384: return 48;
        case HashAlgorithm::Sha512: return 64;
    }
    return 0;
}

void HashContext::Init(HashAlgorithm algorithm) {
    algorithm_ = algorithm;
    blockSize_ = BlockSize(algorithm);
    pendingLength_ = 0;
    messageLength_ = 0;
    words32_.fill(0);
    words64_.fill(0);
    md2_.fill(0);
    switch (algorithm) {
        case HashAlgorithm::Md2: break;
        case HashAlgorithm::Md5: std::copy(kMd5Initial.begin(), kMd5Initial.end(), words32_.begin()); break;
        case HashAlgorithm::Sha1: std::copy(kSha1Initial.begin(), kSha1Initial.end(), words32_.begin()); break;
        case HashAlgorithm::Sha256: words32_ = kSha256Initial; break;
        case HashAlgorithm::Sha384: words64_ = kSha384Initial; break;
        case HashAlgorithm::Sha512: words64_ = kSha512Initial; break;
    }
}

void HashContext::Compress(ByteView blocks) {
    switch (algorithm_) {
        case HashAlgorithm::Md2: detail::Md2Compress(md2_, blocks); break;
        case HashAlgorithm::Md5: detail::Md5Compress(std::span(words32_).first<4>(), blocks); break;
        case HashAlgorithm::Sha1: detail::Sha1Compress(std::span(words32_).first<5>(), blocks); break;
        case HashAlgorithm::Sha256: detail::Sha256Compress(words32_, blocks); break;
        case HashAlgorithm::Sha384:
        case HashAlgorithm::Sha512: detail::Sha512Compress(words64_, blocks); break;
    }
}

void HashContext::Update(ByteView data) {
    messageLength_ += data.size();
    const MutableByteView pending = MutableByteView(pending_).first(blockSize_);
    if (pendingLength_ > 0) {
        const size_t take = std::min(blockSize_ - pendingLength_, data.size());
        std::copy_n(data.begin(), take, pending.begin() + static_cast<ptrdiff_t>(pendingLength_));
        pendingLength_ += take;
        data = data.subspan(take);
        if (pendingLength_ < blockSize_) return;
        Compress(pending);
        pendingLength_ = 0;
    }
    const size_t whole = data.size() - data.size() % blockSize_;
    if (whole > 0) Compress(data.first(whole));
    const ByteView rest = data.subspan(whole);
    std::copy(rest.begin(), rest.end(), pending.begin());
    pendingLength_ = rest.size();
}

// MD5 and the SHA family: 0x80, zeros, then the message length in bits in
// the last 8 (or, for 128-octet blocks, 16) octets of the final block.
void HashContext::PadMerkleDamgard() {
    const MutableByteView block = MutableByteView(pending_).first(blockSize_);
    const size_t lengthField = blockSize_ == 128 ? 16 : 8;
    block[pendingLength_++] = 0x80;
    if (pendingLength_ > blockSize_ - lengthField) {
        std::fill(block.begin() + static_cast<ptrdiff_t>(pendingLength_), block.end(), uint8_t{0});
        Compress(block);
        pendingLength_ = 0;
    }
    std::fill(block.begin() + static_cast<ptrdiff_t>(pendingLength_), block.end(), uint8_t{0});
    // The length in bits: 128 bits for the 128-octet blocks, whose high word
    // holds what the shift by three pushes out of 64 bits.
    const uint64_t bitsLow = messageLength_ << 3;
    platform::ByteWriter length(block.last(lengthField));
    const bool written = algorithm_ == HashAlgorithm::Md5
                             ? length.WriteU64Le(bitsLow)
                             : (lengthField == 8 || length.WriteU64Be(messageLength_ >> 61)) && length.WriteU64Be(bitsLow);
    (void)written;  // the field is exactly the size of what is written
    Compress(block);
}

// MD2: pad with i octets of value i (1 to 16), then process the checksum as
// one more block.
void HashContext::PadMd2() {
    const MutableByteView block = MutableByteView(pending_).first(16);
    const auto pad = static_cast<uint8_t>(16 - pendingLength_);
    std::fill(block.begin() + static_cast<ptrdiff_t>(pendingLength_), block.end(), pad);
    Compress(block);
    std::array<uint8_t, 16> checksum{};
    std::copy_n(md2_.begin() + 16, 16, checksum.begin());
    Compress(checksum);
}

size_t HashContext::Final(MutableByteView out) {
    const size_t length = DigestLength(algorithm_);
    if (out.size() < length) return 0;
    if (algorithm_ == HashAlgorithm::Md2) {
        PadMd2();
    } else {
        PadMerkleDamgard();
    }
    // `out` has room for the digest, so the writer cannot fall short.
    platform::ByteWriter digest(out.first(length));
    bool written = true;
    switch (algorithm_) {
        case HashAlgorithm::Md2: written = digest.WriteBytes(std::span(md2_).first<16>()); break;
        case HashAlgorithm::Md5:
            for (size_t i = 0; i < 4; ++i) written = written && digest.WriteU32Le(words32_[i]);
            break;
        case HashAlgorithm::Sha1:
        case HashAlgorithm::Sha256:
            for (size_t i = 0; i < length / 4; ++i) written = written && digest.WriteU32Be(words32_[i]);
            break;
        case HashAlgorithm::Sha384:
        case HashAlgorithm::Sha512:
            for (size_t i = 0; i < length / 8; ++i) written = written && digest.WriteU64Be(words64_[i]);
            break;
    }
    const size_t produced = written ? length : 0;
    Init(algorithm_);
    return produced;
}

Digest HashContext::Final() {
    Digest digest;
    digest.length = Final(digest.bytes);
    return digest;
}

Digest Hash(HashAlgorithm algorithm, ByteView data) {
    HashContext context(algorithm);
    context.Update(data);
    return context.Final();
}

}  // namespace korva::crypto
