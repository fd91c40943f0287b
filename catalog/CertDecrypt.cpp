#include "catalog/CertDecrypt.h"

#include "catalog/CertDigestInfo.h"
#include "catalog/CertKey.h"
#include "catalog/CertResult.h"
#include "platform/ByteWriter.h"
#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace toolkit = korva::toolkit;
namespace trace = korva::trace;
using korva::platform::ByteReader;
using Info = CCertDigest::CInfo;

constexpr uint32_t kFinalScratchSize = 1024;

uint32_t OutOfMemory(uint32_t number, uint64_t size) {
    trace::Emit(trace::Source::Crypto, number, trace::Level::Error, {trace::Num(size)});
    return kCertOutOfMemory;
}

}  // namespace

uint32_t CCertDecrypt::Init(uint32_t /*mode*/, const CCertKey& key) {
    output_.Free();
    uint32_t result = Create();
    if (result != kCertSuccess) return result;
    if (toolkit::Status status = toolkit::AlgorithmSetInfo(algorithm_, toolkit::kAlgorithmRsaPublicPkcs1, nullptr);
        status != toolkit::kOk) {
        result = TraceToolkitFailure(13, status);
    } else if (status = toolkit::KeyOpInit(algorithm_, key.key(), nullptr, nullptr); status != toolkit::kOk) {
        result = TraceToolkitFailure(15, status);
    }
    if (result != kCertSuccess) Release();
    return result;
}

uint32_t CCertDecrypt::Update(const uint8_t* data, uint32_t length) {
    if (length == 0) return kCertSuccess;
    // Each block of input yields at most its own length; twice that leaves room.
    uint64_t scratchSize = uint64_t{length} * 2;
    CMemory scratch;
    if (scratchSize > UINT32_MAX || !scratch.Allocate(static_cast<uint32_t>(scratchSize))) {
        return OutOfMemory(16, scratchSize);
    }
    uint32_t written = 0;
    toolkit::Status status =
        toolkit::KeyOpUpdate(algorithm_, scratch.data(), &written, scratch.size(), data, length, nullptr, nullptr);
    if (status != toolkit::kOk) return TraceToolkitFailure(18, status);
    return Append(scratch, written, 19);
}

uint32_t CCertDecrypt::Final() {
    CMemory scratch;
    if (!scratch.Allocate(kFinalScratchSize)) return OutOfMemory(20, kFinalScratchSize);
    uint32_t written = 0;
    toolkit::Status status =
        toolkit::KeyOpFinal(algorithm_, scratch.data(), &written, scratch.size(), nullptr, nullptr);
    if (status != toolkit::kOk) return TraceToolkitFailure(22, status);
    return Append(scratch, written, 23);
}

uint32_t CCertDecrypt::Append(const CMemory& scratch, uint32_t length, uint32_t traceNumber) {
    if (length == 0) return kCertSuccess;
    uint32_t old = output_.size();
    if (uint64_t{old} + length > UINT32_MAX || !output_.Resize(old + length)) {
        return OutOfMemory(traceNumber, uint64_t{old} + length);
    }
    korva::platform::ByteWriter writer(output_.bytes().subspan(old));
    (void)writer.WriteBytes(scratch.bytes().first(length));
    return kCertSuccess;
}

uint32_t CCertDecrypt::GetDigestStrict(CMemory& digest) const {
    const Info& info = Info::ByDigestInfoLength(output_.size());
    if (info.id() == 0) {
        trace::Emit(trace::Source::Crypto, 24, trace::Level::Information, {trace::Num(output_.size())});
        return kCertNoMatch;
    }
    ByteReader reader(output_.bytes());
    if (!reader.SkipPrefix(info.digestInfoPrefix())) {
        trace::Emit(trace::Source::Crypto, 25, trace::Level::Information, {trace::Num(info.id())});
        return kCertNoMatch;
    }
    if (!digest.Allocate(info.digestLength())) return OutOfMemory(24, info.digestLength());
    (void)reader.CopyBytes(digest.bytes());
    return kCertSuccess;
}

uint32_t CCertDecrypt::GetDigestLenient(CMemory& digest) const {
    if (Info::ByDigestInfoLength(output_.size()).id() != 0) return GetDigestStrict(digest);
    if (Info::ByDigestLength(output_.size()).id() == 0) {
        trace::Emit(trace::Source::Crypto, 26, trace::Level::Information, {trace::Num(output_.size())});
        return kCertNoMatch;
    }
    // A countersigner may sign the bare digest without a DigestInfo.
    digest = output_;
    return digest.size() == output_.size() ? kCertSuccess : OutOfMemory(26, output_.size());
}

}  // namespace TarnVerifyTrustDriver
