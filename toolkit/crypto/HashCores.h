// Block compression functions behind HashContext. Each takes whole blocks
// only; buffering and padding live in HashContext.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "toolkit/crypto/Bytes.h"
#include "toolkit/crypto/CpuFeatures.h"

namespace korva::crypto::detail {

void Md2Compress(std::span<uint8_t, 32> stateAndChecksum, ByteView blocks);
void Md5Compress(std::span<uint32_t, 4> state, ByteView blocks);

// These pick the processor's SHA instructions when they may be used.
void Sha1Compress(std::span<uint32_t, 5> state, ByteView blocks);
void Sha256Compress(std::span<uint32_t, 8> state, ByteView blocks);
void Sha512Compress(std::span<uint64_t, 8> state, ByteView blocks);

void Sha1CompressPortable(std::span<uint32_t, 5> state, ByteView blocks);
void Sha256CompressPortable(std::span<uint32_t, 8> state, ByteView blocks);

#if KORVA_CRYPTO_HAVE_SHA_EXTENSIONS
// Callers must have checked UseShaExtensions().
void Sha1CompressShaExtensions(std::span<uint32_t, 5> state, ByteView blocks);
void Sha256CompressShaExtensions(std::span<uint32_t, 8> state, ByteView blocks);
// Callers must have checked UseAvx512VectorLength().
void Sha512CompressVector(std::span<uint64_t, 8> state, ByteView blocks);
#endif

extern const std::array<uint32_t, 64> kSha256RoundConstants;

}  // namespace korva::crypto::detail
