#include "toolkit/PathSearchMemo.h"

#include "runtime/MemoryService.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

PathSearchMemo::~PathSearchMemo() {
    for (uint32_t i = 0; i < count_; ++i) ObjectListFree(&entries_[i].candidates);
    mem::FreeBuffer(entries_);
}

const PathMemoEntry* PathSearchMemo::Find(const CertObject* cert) const {
    for (uint32_t i = 0; i < count_; ++i) {
        if (entries_[i].cert == cert) return &entries_[i];
    }
    return nullptr;
}

PathMemoEntry* PathSearchMemo::Entry(CertObject* cert) {
    if (const PathMemoEntry* found = Find(cert)) return const_cast<PathMemoEntry*>(found);
    if (count_ == capacity_) {
        uint32_t capacity = capacity_ == 0 ? 16 : capacity_ * 2;
        auto* grown = static_cast<PathMemoEntry*>(mem::ReallocateBuffer(entries_, sizeof(PathMemoEntry) * capacity));
        if (grown == nullptr) return nullptr;
        entries_ = grown;
        capacity_ = capacity;
    }
    entries_[count_] = PathMemoEntry{cert, nullptr, false, false};
    return &entries_[count_++];
}

}  // namespace korva::toolkit
