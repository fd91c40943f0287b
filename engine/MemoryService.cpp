#include "engine/MemoryService.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;

CCallbacks* AllocationHooks = nullptr;

namespace {

void* RawAllocate(CCallbacks* hooks, size_t total) {
    if (hooks != nullptr && hooks->HasAllocationHooks()) return hooks->allocate(hooks->context, total);
    return std::malloc(total);
}

void RawFree(CCallbacks* hooks, void* block) {
    if (hooks != nullptr && hooks->HasAllocationHooks()) {
        hooks->free(hooks->context, block);
    } else {
        std::free(block);
    }
}

unsigned char* BlockOf(const void* data) {
    return const_cast<unsigned char*>(static_cast<const unsigned char*>(data)) - kBlockHeaderSize;
}

}  // namespace

void* AllocateBuffer(size_t size) {
    if (size > std::numeric_limits<size_t>::max() - kBlockHeaderSize) {
        trace::Emit(trace::Source::Memory, 11, trace::Level::Error, {trace::Num(size)});
        return nullptr;
    }
    size_t total = (size == 0 ? 1 : size) + kBlockHeaderSize;
    auto* block = static_cast<unsigned char*>(RawAllocate(AllocationHooks, total));
    if (block == nullptr) {
        trace::Emit(trace::Source::Memory, 11, trace::Level::Error, {trace::Num(size)});
        return nullptr;
    }
    uint64_t header = size;
    std::memcpy(block, &header, sizeof header);
    return block + kBlockHeaderSize;
}

void FreeBuffer(void* buffer) {
    if (buffer == nullptr) return;
    RawFree(AllocationHooks, BlockOf(buffer));
}

size_t BufferSize(const void* buffer) {
    if (buffer == nullptr) return 0;
    uint64_t header = 0;
    std::memcpy(&header, BlockOf(buffer), sizeof header);
    return static_cast<size_t>(header);
}

void* ReallocateBuffer(void* buffer, size_t size) {
    void* fresh = AllocateBuffer(size);
    if (fresh == nullptr) return nullptr;
    if (buffer != nullptr) {
        size_t keep = BufferSize(buffer) < size ? BufferSize(buffer) : size;
        if (keep != 0) std::memcpy(fresh, buffer, keep);
        FreeBuffer(buffer);
    }
    return fresh;
}

void* AllocateObject(size_t size, CCallbacks* callbacks) {
    if (size >= std::numeric_limits<size_t>::max() - (kBlockHeaderSize - 1)) {
        trace::Emit(trace::Source::Allocation, 10, trace::Level::Error, {trace::Num(size)});
        return nullptr;
    }
    size_t total = size + kBlockHeaderSize;
    auto* block = static_cast<unsigned char*>(RawAllocate(callbacks, total));
    if (block == nullptr) {
        trace::Emit(trace::Source::Allocation, 11, trace::Level::Error, {trace::Num(total)});
        return nullptr;
    }
    std::memcpy(block, &callbacks, sizeof callbacks);
    return block + kBlockHeaderSize;
}

void FreeObject(void* object) {
    if (object == nullptr) return;
    CCallbacks* callbacks = nullptr;
    std::memcpy(&callbacks, BlockOf(object), sizeof callbacks);
    RawFree(callbacks, BlockOf(object));
}

}  // namespace TarnVerifyTrustDriver
