#include "runtime/Memory.h"

#include <algorithm>

#include "runtime/MemoryService.h"
#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;

CMemory::CMemory(const CMemory& other) { *this = other; }

CMemory::~CMemory() { Free(); }

CMemory& CMemory::operator=(const CMemory& other) {
    if (this == &other) return *this;
    Free();
    if (other.empty()) return *this;
    data_ = static_cast<uint8_t*>(AllocateBuffer(other.size_));
    if (data_ == nullptr) {
        trace::Emit(trace::Source::Buffer, 10, trace::Level::Error, {trace::Num(other.size_)});
        return *this;
    }
    size_ = other.size_;
    std::ranges::copy(other.bytes(), data_);
    return *this;
}

bool CMemory::Allocate(uint32_t size) {
    Free();
    data_ = static_cast<uint8_t*>(AllocateBuffer(size));
    if (data_ == nullptr) {
        trace::Emit(trace::Source::Buffer, 12, trace::Level::Error, {trace::Num(size)});
        return false;
    }
    size_ = size;
    return true;
}

bool CMemory::Resize(uint32_t size) {
    auto* fresh = static_cast<uint8_t*>(ReallocateBuffer(data_, size));
    if (fresh == nullptr) {
        trace::Emit(trace::Source::Buffer, 13, trace::Level::Error, {trace::Num(size)});
        return false;
    }
    data_ = fresh;
    size_ = size;
    return true;
}

void CMemory::Free() {
    FreeBuffer(data_);
    data_ = nullptr;
    size_ = 0;
}

}  // namespace TarnVerifyTrustDriver
