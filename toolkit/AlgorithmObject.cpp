#include "toolkit/AlgorithmObject.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "runtime/MemoryService.h"
#include "toolkit/KeyMaterial.h"
#include "toolkit/Objects.h"
#include "toolkit/crypto/Hash.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

struct DigestWork {
    crypto::HashContext hash;
};

struct KeyOpWork {
    crypto::RsaPublicKey key;
    uint32_t pendingLength;
    uint8_t pending[crypto::kMaxModulusLength];
};

// Work is freed as a raw buffer, so it must need no destructor.
static_assert(std::is_trivially_destructible_v<DigestWork> && std::is_trivially_destructible_v<KeyOpWork>);
static_assert(alignof(DigestWork) <= mem::kBlockHeaderSize && alignof(KeyOpWork) <= mem::kBlockHeaderSize);

constexpr AlgorithmInfo kCoreTable[] = {
    {kAlgorithmMd2, 16},    {kAlgorithmMd5, 16},    {kAlgorithmSha1, 20},         {kAlgorithmSha256, 32},
    {kAlgorithmSha384, 48}, {kAlgorithmSha512, 64}, {kAlgorithmRsaPublicPkcs1, 0},
};

const AlgorithmInfo* Describe(uint32_t type) {
    for (const AlgorithmInfo& info : kCoreTable) {
        if (info.type == type) return &info;
    }
    return nullptr;
}

crypto::HashAlgorithm HashOf(uint32_t type) {
    switch (type) {
    case kAlgorithmMd2:
        return crypto::HashAlgorithm::Md2;
    case kAlgorithmMd5:
        return crypto::HashAlgorithm::Md5;
    case kAlgorithmSha1:
        return crypto::HashAlgorithm::Sha1;
    case kAlgorithmSha256:
        return crypto::HashAlgorithm::Sha256;
    case kAlgorithmSha384:
        return crypto::HashAlgorithm::Sha384;
    default:
        return crypto::HashAlgorithm::Sha512;
    }
}

bool IsDigest(uint32_t type) {
    return type != kAlgorithmRsaPublicPkcs1 && Describe(type) != nullptr;
}

static_assert(offsetof(AlgorithmObject, type) == 0 && offsetof(AlgorithmObject, self) == sizeof(void*));

bool IsAlgorithm(const AlgorithmObject* algorithm) {
    return HasSelfMark(algorithm, kAlgorithmMarkMask, kAlgorithmObjectMark);
}

bool IsKey(const KeyObject* key) {
    return key != nullptr && KeyObjectCheck(key) == kOk;
}

bool InDigestMode(const AlgorithmObject* algorithm) {
    return (algorithm->type & kAlgorithmModeMask) == kAlgorithmDigestMode;
}

bool InKeyOpMode(const AlgorithmObject* algorithm) {
    return algorithm->algorithm == kAlgorithmRsaPublicPkcs1 && algorithm->work != nullptr;
}

bool Offered(const AlgorithmSet* methods, uint32_t type) {
    const AlgorithmSet& set = methods != nullptr ? *methods : kCoreAlgorithms;
    for (uint32_t i = 0; i < set.count; ++i) {
        if (set.algorithms[i].type == type) return true;
    }
    return false;
}

void EndWork(AlgorithmObject* algorithm) {
    mem::FreeBuffer(algorithm->work);
    algorithm->work = nullptr;
    algorithm->type = kAlgorithmObjectMark;
}

// Replaces any operation in progress by fresh storage for `Work`.
template <typename Work>
Work* StartWork(AlgorithmObject* algorithm) {
    EndWork(algorithm);
    algorithm->work = mem::AllocateBuffer(sizeof(Work));
    return static_cast<Work*>(algorithm->work);
}

Status CheckOptionalRandom(const AlgorithmObject* random) {
    return random == nullptr || IsAlgorithm(random) ? kOk : kCoreInvalidRandom;
}

// Runs one gathered block through the key and appends its payload.
Status OpenBlock(KeyOpWork& work, uint8_t* output, uint32_t maxOutput, uint32_t& written) {
    uint8_t block[crypto::kMaxModulusLength];
    crypto::ByteView payload;
    size_t length = work.key.modulusLength();
    work.pendingLength = 0;
    if (work.key.PublicOperation(crypto::ByteView(work.pending, length), crypto::MutableByteView(block, length)) !=
            crypto::RsaStatus::Ok ||
        crypto::Pkcs1Type1Unpad(crypto::ByteView(block, length), payload) != crypto::RsaStatus::Ok) {
        return kCoreBadSignatureBlock;
    }
    if (payload.size() > maxOutput - written) return kCoreOutputTooSmall;
    std::memcpy(output + written, payload.data(), payload.size());
    written += static_cast<uint32_t>(payload.size());
    return kOk;
}

}  // namespace

const AlgorithmSet kCoreAlgorithms{kCoreTable, static_cast<uint32_t>(std::size(kCoreTable))};

Status AlgorithmCreate(AlgorithmObject** outAlgorithm) {
    if (outAlgorithm == nullptr) return kCoreInvalidAlgorithm;
    auto* algorithm = static_cast<AlgorithmObject*>(mem::AllocateBuffer(sizeof(AlgorithmObject)));
    *outAlgorithm = algorithm;
    if (algorithm == nullptr) return kCoreOutOfMemory;
    *algorithm = AlgorithmObject{kAlgorithmObjectMark, algorithm, 0, nullptr};
    return kOk;
}

void AlgorithmFree(AlgorithmObject** algorithm) {
    if (algorithm == nullptr) return;
    if (IsAlgorithm(*algorithm)) {
        EndWork(*algorithm);
        (*algorithm)->self = nullptr;
        mem::FreeBuffer(*algorithm);
    }
    *algorithm = nullptr;
}

Status AlgorithmSetInfo(AlgorithmObject* algorithm, uint32_t infoType, const void* info) {
    if (!IsAlgorithm(algorithm)) return kCoreInvalidAlgorithm;
    if (Describe(infoType) == nullptr || info != nullptr) return kCoreInfoTypeNotApplicable;
    EndWork(algorithm);
    algorithm->algorithm = infoType;
    return kOk;
}

Status AlgorithmGetInfo(const AlgorithmInfo** info, const AlgorithmObject* algorithm, uint32_t infoType) {
    if (!IsAlgorithm(algorithm)) return kCoreInvalidAlgorithm;
    if (info == nullptr) return kCoreInputMissing;
    if (algorithm->algorithm == 0 || algorithm->algorithm != infoType) return kCoreInfoTypeNotApplicable;
    *info = Describe(infoType);
    return kOk;
}

Status DigestInit(AlgorithmObject* algorithm, const KeyObject* key, const AlgorithmSet* methods,
                  const CoreCallbacks*) {
    if (!IsAlgorithm(algorithm)) return kCoreInvalidAlgorithm;
    if (KeyObjectCheck(key) != kOk) return kCoreInvalidKey;
    if (key != nullptr || !IsDigest(algorithm->algorithm) || !Offered(methods, algorithm->algorithm)) {
        return kCoreInfoTypeNotApplicable;
    }
    auto* work = StartWork<DigestWork>(algorithm);
    if (work == nullptr) return kCoreOutOfMemory;
    new (work) DigestWork{crypto::HashContext(HashOf(algorithm->algorithm))};
    algorithm->type = kAlgorithmObjectMark | kAlgorithmDigestMode;
    return kOk;
}

Status DigestUpdate(AlgorithmObject* algorithm, const uint8_t* data, uint32_t length, const CoreCallbacks*) {
    if (!IsAlgorithm(algorithm) || !InDigestMode(algorithm)) return kCoreInvalidAlgorithm;
    if (data == nullptr && length != 0) return kCoreInputMissing;
    if (length != 0) static_cast<DigestWork*>(algorithm->work)->hash.Update(crypto::ByteView(data, length));
    return kOk;
}

Status DigestFinal(AlgorithmObject* algorithm, uint8_t* output, uint32_t* outputLength, uint32_t maxLength,
                   const CoreCallbacks*) {
    if (!IsAlgorithm(algorithm) || !InDigestMode(algorithm)) return kCoreInvalidAlgorithm;
    if (output == nullptr || outputLength == nullptr) return kCoreInputMissing;
    if (maxLength < Describe(algorithm->algorithm)->outputLength) return kCoreOutputTooSmall;
    auto& hash = static_cast<DigestWork*>(algorithm->work)->hash;
    *outputLength = static_cast<uint32_t>(hash.Final(crypto::MutableByteView(output, maxLength)));
    return kOk;
}

Status KeyOpInit(AlgorithmObject* algorithm, const KeyObject* key, const AlgorithmSet* methods,
                 const CoreCallbacks*) {
    if (!IsAlgorithm(algorithm)) return kCoreInvalidAlgorithm;
    if (!IsKey(key)) return kCoreInvalidKey;
    if (algorithm->algorithm != kAlgorithmRsaPublicPkcs1 || !Offered(methods, algorithm->algorithm)) {
        return kCoreInfoTypeNotApplicable;
    }
    if (key->material == nullptr) return kCoreKeyFormatNotApplicable;
    auto* work = StartWork<KeyOpWork>(algorithm);
    if (work == nullptr) return kCoreOutOfMemory;
    new (work) KeyOpWork{key->material->rsa, 0, {}};
    return kOk;
}

Status KeyOpUpdate(AlgorithmObject* algorithm, uint8_t* output, uint32_t* outputLength, uint32_t maxOutput,
                   const uint8_t* input, uint32_t inputLength, const AlgorithmObject* random, const CoreCallbacks*) {
    if (!IsAlgorithm(algorithm)) return kCoreInvalidAlgorithm;
    if (Status status = CheckOptionalRandom(random); status != kOk) return status;
    if (!InKeyOpMode(algorithm)) return kCoreInvalidAlgorithm;
    if (outputLength == nullptr || (input == nullptr && inputLength != 0) || (output == nullptr && maxOutput != 0)) {
        return kCoreInputMissing;
    }
    auto& work = *static_cast<KeyOpWork*>(algorithm->work);
    const uint32_t blockLength = static_cast<uint32_t>(work.key.modulusLength());
    uint32_t written = 0;
    while (inputLength != 0) {
        uint32_t take = std::min(blockLength - work.pendingLength, inputLength);
        std::memcpy(work.pending + work.pendingLength, input, take);
        work.pendingLength += take;
        input += take;
        inputLength -= take;
        if (work.pendingLength == blockLength) {
            if (Status status = OpenBlock(work, output, maxOutput, written); status != kOk) return status;
        }
    }
    *outputLength = written;
    return kOk;
}

Status KeyOpFinal(AlgorithmObject* algorithm, uint8_t*, uint32_t* outputLength, uint32_t, const AlgorithmObject* random,
                  const CoreCallbacks*) {
    if (!IsAlgorithm(algorithm)) return kCoreInvalidAlgorithm;
    if (Status status = CheckOptionalRandom(random); status != kOk) return status;
    if (!InKeyOpMode(algorithm)) return kCoreInvalidAlgorithm;
    if (outputLength == nullptr) return kCoreInputMissing;
    auto& work = *static_cast<KeyOpWork*>(algorithm->work);
    bool partialBlock = work.pendingLength != 0;
    work.pendingLength = 0;
    if (partialBlock) return kCoreInputTruncated;
    *outputLength = 0;  // every whole block was opened by KeyOpUpdate
    return kOk;
}

}  // namespace korva::toolkit
