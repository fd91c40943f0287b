#include "catalog/ExtraRoots.h"

#include <cstring>
#include <new>

#include "catalog/CertResult.h"
#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

CExtraRoots::~CExtraRoots() { Clear(); }

uint32_t CExtraRoots::Add(uint32_t group, uint64_t id, std::span<const uint8_t> der) {
    if (group == 0 || group > kRootGroupCount || der.empty() || der.size() > UINT32_MAX) return kCertNoMatch;
    // One block: the node, then its copy of the encoding.
    void* block = AllocateBuffer(sizeof(ExtraRoot) + der.size());
    if (block == nullptr) return kCertOutOfMemory;
    auto* copy = static_cast<uint8_t*>(block) + sizeof(ExtraRoot);
    std::memcpy(copy, der.data(), der.size());
    auto* root = new (block) ExtraRoot{nullptr, group, {id, copy, der.size(), 0}};
    if (last_ != nullptr) {
        last_->next = root;
    } else {
        first_ = root;
    }
    last_ = root;
    return kCertSuccess;
}

void CExtraRoots::Clear() {
    while (first_ != nullptr) {
        ExtraRoot* next = first_->next;
        first_->~ExtraRoot();
        FreeBuffer(first_);
        first_ = next;
    }
    last_ = nullptr;
}

}  // namespace TarnVerifyTrustDriver
