// Node storage for the store's maps: nodes live in chunks from the memory
// service and are named by 32-bit numbers, which keeps a node's links at 4
// bytes each. Chunks start at 16 nodes and double up to 4,096, so a small map
// stays small and a large one wastes at most one partly used chunk. Nodes are
// never freed one by one: a map only grows until it is cleared.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <new>

#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

template <class Node>
class NodePool {
public:
    // The top bit of a node number is kept free for the map's own use.
    static constexpr uint32_t kMaxNodes = 0x7FFFFFFEu;

    explicit NodePool(CCallbacks* callbacks) : callbacks_(callbacks) {}
    ~NodePool() { Clear(); }
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;

    uint32_t count() const { return count_; }

    Node& operator[](uint32_t number) {
        uint32_t slot = 0;
        uint32_t chunk = ChunkOf(number, slot);
        return chunks_[chunk][slot];
    }

    // Constructs a fresh node and returns its number, or false when no
    // storage can be had.
    bool Add(uint32_t& number) {
        if (count_ >= kMaxNodes) return false;
        uint32_t slot = 0;
        uint32_t chunk = ChunkOf(count_, slot);
        if (chunk == chunkCount_ && !AddChunk()) return false;
        new (&chunks_[chunk][slot]) Node();
        number = count_++;
        return true;
    }

    // Takes back the node Add returned last, when its owner could not fill it.
    void RemoveLast() { (*this)[--count_].~Node(); }

    // Destroys every node and frees all storage.
    void Clear() {
        for (uint32_t i = 0; i < count_; ++i) (*this)[i].~Node();
        for (uint32_t i = 0; i < chunkCount_; ++i) FreeObject(chunks_[i]);
        if (chunks_ != nullptr) FreeObject(chunks_);
        chunks_ = nullptr;
        chunkCount_ = 0;
        directorySize_ = 0;
        count_ = 0;
    }

private:
    static constexpr uint32_t kFirstChunk = 16;
    static constexpr uint32_t kLargestChunk = 4096;
    // Chunks 0 and 1 hold 16 nodes, chunk k (up to 9) 16 << (k - 1); together
    // they hold the first 8,192 nodes, and every later chunk 4,096.
    static constexpr uint32_t kDoublingChunks = 10;
    static constexpr uint32_t kDoublingNodes = 2 * kLargestChunk;

    static uint32_t ChunkSize(uint32_t chunk) {
        if (chunk == 0) return kFirstChunk;
        return chunk < kDoublingChunks ? kFirstChunk << (chunk - 1) : kLargestChunk;
    }

    static uint32_t ChunkOf(uint32_t number, uint32_t& slot) {
        if (number < kFirstChunk) {
            slot = number;
            return 0;
        }
        if (number < kDoublingNodes) {
            auto chunk = static_cast<uint32_t>(std::bit_width(number)) - 4;
            slot = number - (1u << (chunk + 3));
            return chunk;
        }
        slot = (number - kDoublingNodes) % kLargestChunk;
        return kDoublingChunks + (number - kDoublingNodes) / kLargestChunk;
    }

    bool AddChunk() {
        if (chunkCount_ == directorySize_) {
            uint32_t size = directorySize_ == 0 ? 8 : directorySize_ * 2;
            auto* directory = static_cast<Node**>(AllocateObject(size * sizeof(Node*), callbacks_));
            if (directory == nullptr) return false;
            for (uint32_t i = 0; i < chunkCount_; ++i) directory[i] = chunks_[i];
            if (chunks_ != nullptr) FreeObject(chunks_);
            chunks_ = directory;
            directorySize_ = size;
        }
        void* chunk = AllocateObject(ChunkSize(chunkCount_) * sizeof(Node), callbacks_);
        if (chunk == nullptr) return false;
        chunks_[chunkCount_++] = static_cast<Node*>(chunk);
        return true;
    }

    CCallbacks* callbacks_;
    Node** chunks_ = nullptr;
    uint32_t chunkCount_ = 0;
    uint32_t directorySize_ = 0;
    uint32_t count_ = 0;
};

}  // namespace TarnVerifyTrustDriver
