// CMemory: an owned byte string in a raw buffer of the memory service. Every
// operation reports failure by its result and a trace event; none throws.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/Allocator.h"

namespace TarnVerifyTrustDriver {

class CMemory : public TAllocator<CMemory> {
public:
    CMemory() = default;
    // Copies the bytes; when that allocation fails the copy is empty.
    CMemory(const CMemory& other);
    virtual ~CMemory();

    // Self-assignment does nothing; a failed allocation leaves this empty.
    CMemory& operator=(const CMemory& other);

    // Replaces the content with `size` fresh (uninitialised) bytes; on
    // failure the object is empty.
    bool Allocate(uint32_t size);
    // Keeps the common prefix; on failure the object is unchanged.
    bool Resize(uint32_t size);
    void Free();
    // Exchanges the contents without allocating, so containers can move
    // byte strings to new storage without a copy that could fail.
    void Swap(CMemory& other) noexcept {
        uint8_t* data = data_;
        data_ = other.data_;
        other.data_ = data;
        uint32_t size = size_;
        size_ = other.size_;
        other.size_ = size;
    }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    uint32_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::span<uint8_t> bytes() { return {data_, size_}; }
    std::span<const uint8_t> bytes() const { return {data_, size_}; }

private:
    uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
};

}  // namespace TarnVerifyTrustDriver
