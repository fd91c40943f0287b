// The streaming BER walker: visits the elements of one outermost element in
// document order, depth first, and hands each to a callback as an Asn1Node
// pointing into the buffer. Nothing is copied and no tree is built.
#pragma once

#include <cstdint>

#include "catalog/Asn1NodeCallback.h"
#include "catalog/ParserStack.h"
#include "catalog/WalkResult.h"
#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

// Levels deeper than this are refused (result 11, trace 70): the depth a
// callback sees is 8-bit and must never wrap.
inline constexpr uint32_t kMaxWalkLevels = 255;

// Walks (data, length) with `stack`, allocating its items through
// `allocator` (null: the memory service's own). `callback` may be null: the
// walk then only checks the encoding. Returns a walk result.
uint32_t ParseAsn1(CCallbacks* allocator, ParserStack* stack, const uint8_t* data, uint32_t length,
                   IAsn1NodeCallback* callback);

}  // namespace TarnVerifyTrustDriver
