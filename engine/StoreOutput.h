// Where SaveStore appends the store's entries: Cat.DB's stream, or memory.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver {

class IStoreOutput {
public:
    virtual ~IStoreOutput() = default;
    // All `size` bytes at the end of what was written so far, or false.
    virtual bool Write(const void* data, uint32_t size) = 0;
};

}  // namespace TarnVerifyTrustDriver
