// A seam beneath the memory service's runtime heap, so that tests can count
// and fail every engine allocation, including those that no host hooks see.
// Only tests include this header; the tool never replaces the heap.
#pragma once

#include <cstddef>

namespace TarnVerifyTrustDriver {

struct RuntimeHeap {
    void* (*allocate)(size_t size);
    void (*free)(void* block);
};

// Installs `heap` in place of malloc/free (null restores them) and returns the
// previous one. A replacement must hand blocks on to malloc/free, because
// blocks made before the swap are still freed through it.
const RuntimeHeap* ReplaceRuntimeHeapForTests(const RuntimeHeap* heap);

}  // namespace TarnVerifyTrustDriver
