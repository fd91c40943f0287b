// Gives an engine class its own operator new/delete through object blocks of
// the memory service. The allocation functions are non-throwing, so a failed
// `new` yields null and runs no constructor: callers test the pointer.
#pragma once

#include <cstddef>

#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

// `TClass` makes each class's base distinct, so that a class deriving from two
// allocating bases still has one unambiguous operator new.
template <class TClass, class TCallbacks = CCallbacks>
class TAllocator {
public:
    static void* operator new(size_t size) noexcept { return AllocateObject(size, nullptr); }
    // `new (callbacks) T(...)`: the block comes from, and returns to, the
    // callbacks' hooks when they have both.
    static void* operator new(size_t size, TCallbacks* callbacks) noexcept { return AllocateObject(size, callbacks); }
    static void operator delete(void* object) noexcept { FreeObject(object); }
    // Called only if a constructor of a `new (callbacks)` expression throws.
    static void operator delete(void* object, TCallbacks*) noexcept { FreeObject(object); }

    static void* operator new[](size_t) = delete;
    static void operator delete[](void*) = delete;

protected:
    TAllocator() = default;
    ~TAllocator() = default;
};

}  // namespace TarnVerifyTrustDriver
