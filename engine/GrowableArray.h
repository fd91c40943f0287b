// A contiguous array whose storage comes from the memory service. Capacity
// doubles when it must grow, and every slot beyond the count always holds an
// empty element (a default-constructed T), so growing only moves the count.
// Elements move to new storage by swap: T supplies a swap that cannot fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <span>
#include <utility>

#include "runtime/MemoryService.h"
#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

template <class T>
class GrowableArray {
public:
    // The container source's events for a failed append and a failed resize.
    static constexpr uint32_t kAppendFailedEvent = 14;
    static constexpr uint32_t kResizeFailedEvent = 15;

    explicit GrowableArray(CCallbacks* callbacks = nullptr) : callbacks_(callbacks) {}
    ~GrowableArray() { Release(); }
    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;

    uint32_t count() const { return count_; }
    T& operator[](uint32_t index) { return items_[index]; }
    const T& operator[](uint32_t index) const { return items_[index]; }
    std::span<T> items() { return {items_, count_}; }
    std::span<const T> items() const { return {items_, count_}; }

    // Adds one empty element at the end and returns it, or null when the
    // storage cannot grow (the array is then unchanged).
    T* Append() {
        if (count_ == std::numeric_limits<uint32_t>::max() || !Reserve(count_ + 1)) {
            korva::trace::Emit(korva::trace::Source::Container, kAppendFailedEvent, korva::trace::Level::Error,
                               {korva::trace::Num(count_)});
            return nullptr;
        }
        return &items_[count_++];
    }

    // Grows filling with empty elements, or shrinks resetting the tail.
    bool Resize(uint32_t count) {
        if (count > count_ && !Reserve(count)) {
            korva::trace::Emit(korva::trace::Source::Container, kResizeFailedEvent, korva::trace::Level::Error,
                               {korva::trace::Num(count)});
            return false;
        }
        for (uint32_t i = count; i < count_; ++i) items_[i] = T{};
        count_ = count;
        return true;
    }

    // Resets every element to empty; the capacity stays.
    void Clear() { Resize(0); }


private:
    bool Reserve(uint32_t need) {
        if (need <= capacity_) return true;
        uint64_t capacity = capacity_ == 0 ? need : capacity_;
        while (capacity < need) capacity *= 2;
        if (capacity > std::numeric_limits<uint32_t>::max()) capacity = std::numeric_limits<uint32_t>::max();
        if (capacity > std::numeric_limits<size_t>::max() / sizeof(T)) return false;
        void* storage = AllocateObject(static_cast<size_t>(capacity) * sizeof(T), callbacks_);
        if (storage == nullptr) return false;
        T* fresh = static_cast<T*>(storage);
        for (uint64_t i = 0; i < capacity; ++i) new (&fresh[i]) T();
        for (uint32_t i = 0; i < count_; ++i) {
            using std::swap;
            swap(fresh[i], items_[i]);
        }
        Release();
        items_ = fresh;
        capacity_ = static_cast<uint32_t>(capacity);
        return true;
    }

    void Release() {
        for (uint32_t i = 0; i < capacity_; ++i) items_[i].~T();
        if (items_ != nullptr) FreeObject(items_);
        items_ = nullptr;
        capacity_ = 0;
    }

    CCallbacks* callbacks_;
    T* items_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace TarnVerifyTrustDriver
