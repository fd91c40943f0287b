// A member hash as catalogs list them: up to 32 bytes (20 for SHA-1, 32 for
// SHA-256) with the bytes beyond the length zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace TarnVerifyTrustDriver {

struct MemberHash {
    static constexpr uint32_t kMaxLength = 32;

    uint8_t bytes[kMaxLength] = {};
    uint32_t length = 0;

    std::span<const uint8_t> view() const { return {bytes, length < kMaxLength ? length : kMaxLength}; }
};

// The order of the hash map: byte-wise over the common length, then the
// shorter first. Negative, zero or positive.
inline int CompareHashBytes(std::span<const uint8_t> a, std::span<const uint8_t> b) {
    size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

}  // namespace TarnVerifyTrustDriver
