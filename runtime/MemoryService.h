// The engine's memory service. Every block carries one 8-byte header word in
// front of the address handed out: the requested size for raw buffers, the
// callbacks record for object storage, so that each free finds its way back to
// the allocator that made the block. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace TarnVerifyTrustDriver {

// Host functions a driver host may supply. The file slots come first, then
// the allocation hooks; this program never installs a record.
struct CCallbacks {
    void* hostStream = nullptr;
    void* context = nullptr;
    bool (*close)(void* context, void* stream) = nullptr;
    bool (*read)(void* context, void* stream, void* buffer, uint32_t size, uint32_t* transferred) = nullptr;
    bool (*write)(void* context, void* stream, const void* buffer, uint32_t size, uint32_t* transferred) = nullptr;
    bool (*seek)(void* context, void* stream, int64_t offset, uint32_t method) = nullptr;
    bool (*getSize)(void* context, void* stream, uint64_t* size) = nullptr;
    void* (*allocate)(void* context, size_t size) = nullptr;
    void (*free)(void* context, void* block) = nullptr;

    bool HasAllocationHooks() const { return allocate != nullptr && free != nullptr; }
};

// Process-wide hooks for raw buffers; null unless a test installs them.
extern CCallbacks* AllocationHooks;

constexpr size_t kBlockHeaderSize = 8;

void* AllocateBuffer(size_t size);
void FreeBuffer(void* buffer);
void* ReallocateBuffer(void* buffer, size_t size);
// The size recorded in a raw buffer's header.
size_t BufferSize(const void* buffer);

void* AllocateObject(size_t size, CCallbacks* callbacks);
void FreeObject(void* object);

}  // namespace TarnVerifyTrustDriver
