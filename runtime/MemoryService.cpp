#include "runtime/MemoryService.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "runtime/RuntimeHeapSeam.h"
#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;

CCallbacks* AllocationHooks = nullptr;

namespace {

std::atomic<const RuntimeHeap*> g_runtimeHeap{nullptr};

void* RawAllocate(const CCallbacks* hooks, size_t total) {
    if (hooks != nullptr && hooks->HasAllocationHooks()) return hooks->allocate(hooks->context, total);
    const RuntimeHeap* heap = g_runtimeHeap.load(std::memory_order_acquire);
    return heap != nullptr ? heap->allocate(total) : std::malloc(total);
}

void RawFree(const CCallbacks* hooks, void* block) {
    if (hooks != nullptr && hooks->HasAllocationHooks()) {
        hooks->free(hooks->context, block);
        return;
    }
    const RuntimeHeap* heap = g_runtimeHeap.load(std::memory_order_acquire);
    if (heap != nullptr) {
        heap->free(block);
    } else {
        std::free(block);
    }
}

unsigned char* BlockOf(const void* data) {
    return const_cast<unsigned char*>(static_cast<const unsigned char*>(data)) - kBlockHeaderSize;
}

// The header is a full 8-byte word on every host, whatever the pointer size.
void WriteHeader(unsigned char* block, uint64_t word) { std::memcpy(block, &word, sizeof word); }

uint64_t ReadHeader(const void* data) {
    uint64_t word = 0;
    std::memcpy(&word, BlockOf(data), sizeof word);
    return word;
}

}  // namespace

const RuntimeHeap* ReplaceRuntimeHeapForTests(const RuntimeHeap* heap) {
    return g_runtimeHeap.exchange(heap, std::memory_order_acq_rel);
}

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
    WriteHeader(block, size);
    return block + kBlockHeaderSize;
}

void FreeBuffer(void* buffer) {
    if (buffer == nullptr) return;
    RawFree(AllocationHooks, BlockOf(buffer));
}

size_t BufferSize(const void* buffer) {
    if (buffer == nullptr) return 0;
    return static_cast<size_t>(ReadHeader(buffer));
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
    WriteHeader(block, reinterpret_cast<uintptr_t>(callbacks));
    return block + kBlockHeaderSize;
}

void FreeObject(void* object) {
    if (object == nullptr) return;
    auto* callbacks = reinterpret_cast<const CCallbacks*>(static_cast<uintptr_t>(ReadHeader(object)));
    RawFree(callbacks, BlockOf(object));
}

}  // namespace TarnVerifyTrustDriver
