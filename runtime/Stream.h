// The engine's view of a readable file: what the ASN.1 walker and the Cat.DB
// loader need, independent of where the bytes come from.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver {

class IStream {
public:
    virtual bool IsOpen() const = 0;
    virtual bool GetSize(uint64_t& size) = 0;
    // Moves to `position`, then reads as Read does; `count` may be null.
    virtual bool ReadAt(uint64_t position, void* buffer, uint32_t size, uint32_t* count) = 0;
    virtual ~IStream() = default;
};

}  // namespace TarnVerifyTrustDriver
