#include "toolkit/PathSearchMemo.h"

#include <cstring>

#include "runtime/MemoryService.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

PathSearchMemo::~PathSearchMemo() {
    for (uint32_t i = 0; i < count_; ++i) ObjectListFree(&entries_[i].candidates);
    mem::FreeBuffer(entries_);
    mem::FreeBuffer(slots_);
}

uint32_t PathSearchMemo::Slot(const CertObject* cert) const {
    const uint32_t mask = capacity_ * 2 - 1;
    auto slot = static_cast<uint32_t>((reinterpret_cast<uintptr_t>(cert) >> 4) * 0x9E3779B1u) & mask;
    while (slots_[slot] != 0 && entries_[slots_[slot] - 1].cert != cert) slot = (slot + 1) & mask;
    return slot;
}

bool PathSearchMemo::Grow() {
    uint32_t capacity = capacity_ == 0 ? 16 : capacity_ * 2;
    auto* slots = static_cast<uint32_t*>(mem::AllocateBuffer(sizeof(uint32_t) * capacity * 2));
    auto* grown = slots == nullptr ? nullptr
                                   : static_cast<PathMemoEntry*>(
                                         mem::ReallocateBuffer(entries_, sizeof(PathMemoEntry) * capacity));
    if (grown == nullptr) {
        mem::FreeBuffer(slots);
        return false;
    }
    std::memset(slots, 0, sizeof(uint32_t) * capacity * 2);
    mem::FreeBuffer(slots_);
    entries_ = grown;
    capacity_ = capacity;
    slots_ = slots;
    for (uint32_t i = 0; i < count_; ++i) slots_[Slot(entries_[i].cert)] = i + 1;
    return true;
}

const PathMemoEntry* PathSearchMemo::Find(const CertObject* cert) const {
    if (count_ == 0) return nullptr;
    uint32_t slot = Slot(cert);
    return slots_[slot] == 0 ? nullptr : &entries_[slots_[slot] - 1];
}

PathMemoEntry* PathSearchMemo::Entry(CertObject* cert) {
    if (const PathMemoEntry* found = Find(cert)) return const_cast<PathMemoEntry*>(found);
    if (count_ == capacity_ && !Grow()) return nullptr;
    entries_[count_] = PathMemoEntry{cert, nullptr, false, false};
    slots_[Slot(cert)] = count_ + 1;
    return &entries_[count_++];
}

}  // namespace korva::toolkit
