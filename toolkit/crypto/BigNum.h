// Fixed-capacity unsigned integers as little-endian arrays of 64-bit limbs,
// sized for the largest supported RSA modulus. Operations take spans of the
// same limb count; nothing allocates.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "toolkit/crypto/Bytes.h"

namespace korva::crypto::detail {

using Limb = uint64_t;
constexpr size_t kLimbBits = 64;
constexpr size_t kMaxLimbs = 4096 / kLimbBits;
using Limbs = std::array<Limb, kMaxLimbs>;

// Big-endian octets (leading zeros allowed) into `out`, zero-extended;
// false when the value needs more limbs than `out` has.
bool LimbsFromBytes(ByteView bytes, std::span<Limb> out);
// The value as exactly out.size() big-endian octets; false when it does not fit.
bool LimbsToBytes(std::span<const Limb> value, MutableByteView out);

size_t BitLength(std::span<const Limb> value);
// -1, 0 or 1 as a < b, a == b, a > b; both of the same length.
int Compare(std::span<const Limb> a, std::span<const Limb> b);
// out = a - b (all of the same length); returns the borrow out of the top limb.
Limb Subtract(std::span<Limb> out, std::span<const Limb> a, std::span<const Limb> b);

// Octets with the leading zeros removed.
ByteView StripLeadingZeros(ByteView bytes);

}  // namespace korva::crypto::detail
