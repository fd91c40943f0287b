// Algorithm objects of the cryptographic core: a digest or a public-key
// operation in progress. Like key objects they carry no object header: the
// type word holds 0x14 in bits 24-31 and the object points at itself; a
// digest initialised without a key is marked by 0x0D in bits 8-15.
//
// Use: AlgorithmSetInfo names the algorithm, then DigestInit/Update/Final
// for a digest or KeyOpInit/Update/Final for the RSA public operation.
// Every function answers 516 for an invalid algorithm object (or one not
// initialised for the operation), 530 for an invalid key object, 531 when the
// algorithm does not apply, and 539 for an invalid optional random object.
#pragma once

#include <cstdint>

#include "toolkit/KeyObject.h"
#include "toolkit/Providers.h"

namespace korva::toolkit {

inline constexpr uint32_t kAlgorithmObjectMark = 0x14000000;
inline constexpr uint32_t kAlgorithmMarkMask = 0xFF000000;
inline constexpr uint32_t kAlgorithmDigestMode = 0x0D00;
inline constexpr uint32_t kAlgorithmModeMask = 0xFF00;

// Information types: the algorithms the core offers. None takes parameters.
inline constexpr uint32_t kAlgorithmMd2 = 1;
inline constexpr uint32_t kAlgorithmMd5 = 2;
inline constexpr uint32_t kAlgorithmSha1 = 3;
inline constexpr uint32_t kAlgorithmSha256 = 4;
inline constexpr uint32_t kAlgorithmSha384 = 5;
inline constexpr uint32_t kAlgorithmSha512 = 6;
// The RSA public-key operation with PKCS #1 v1.5 block-type-1 unpadding:
// each modulus-length block of input yields the octets after its padding.
inline constexpr uint32_t kAlgorithmRsaPublicPkcs1 = 7;

// What AlgorithmGetInfo gives out; outputLength is the digest length, 0 for
// the RSA operation, whose output depends on the key.
struct AlgorithmInfo {
    uint32_t type;
    uint32_t outputLength;
};

// The algorithms an Init may use; a null set means every one of the core.
struct AlgorithmSet {
    const AlgorithmInfo* algorithms;
    uint32_t count;
};
extern const AlgorithmSet kCoreAlgorithms;

// The class-0 callback pair of a context. The core's primitives run to
// completion without yielding, so they carry it but never call it.
struct CoreCallbacks {
    ProviderFunction function;
    void* handle;
};

struct AlgorithmObject {
    uint32_t type;  // kAlgorithmObjectMark | mode
    AlgorithmObject* self;
    uint32_t algorithm;   // the information type set, 0 before
    void* work;           // the operation in progress; its kind follows `algorithm`
};

Status AlgorithmCreate(AlgorithmObject** outAlgorithm);
// Invalid or null handles are only cleared.
void AlgorithmFree(AlgorithmObject** algorithm);
// Names the algorithm; ends any operation in progress. `info` must be null.
Status AlgorithmSetInfo(AlgorithmObject* algorithm, uint32_t infoType, const void* info);
// The description of the algorithm set, when it is `infoType`.
Status AlgorithmGetInfo(const AlgorithmInfo** info, const AlgorithmObject* algorithm, uint32_t infoType);

// A null key selects digest mode; the core offers no keyed digests.
Status DigestInit(AlgorithmObject* algorithm, const KeyObject* key, const AlgorithmSet* methods,
                  const CoreCallbacks* callbacks);
Status DigestUpdate(AlgorithmObject* algorithm, const uint8_t* data, uint32_t length, const CoreCallbacks* callbacks);
// Writes the digest (522 when maxLength is shorter) and starts a new message.
Status DigestFinal(AlgorithmObject* algorithm, uint8_t* output, uint32_t* outputLength, uint32_t maxLength,
                   const CoreCallbacks* callbacks);

// Loads a copy of the key (517 when it is empty).
Status KeyOpInit(AlgorithmObject* algorithm, const KeyObject* key, const AlgorithmSet* methods,
                 const CoreCallbacks* callbacks);
// Runs the operation over every complete block gathered so far and writes
// what the blocks yield (527 for a block that is not valid, 522 when
// maxOutput is too short).
Status KeyOpUpdate(AlgorithmObject* algorithm, uint8_t* output, uint32_t* outputLength, uint32_t maxOutput,
                   const uint8_t* input, uint32_t inputLength, const AlgorithmObject* random,
                   const CoreCallbacks* callbacks);
// Ends the operation; input that is not a whole block fails with 525.
Status KeyOpFinal(AlgorithmObject* algorithm, uint8_t* output, uint32_t* outputLength, uint32_t maxOutput,
                  const AlgorithmObject* random, const CoreCallbacks* callbacks);

}  // namespace korva::toolkit
