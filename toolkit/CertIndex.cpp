#include "toolkit/CertIndex.h"

#include <algorithm>
#include <cstring>

#include "runtime/MemoryService.h"
#include "toolkit/Certificate.h"
#include "toolkit/NameKey.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

constexpr uint32_t kKinds = 2;
constexpr uint32_t kFirstCapacity = 16;

uint32_t Bucket(const CertIndex& index, uint64_t key, uint32_t kind) {
    return static_cast<uint32_t>(key & (uint64_t{index.capacity} * 2 - 1)) * kKinds + kind;
}

// Puts certificate `i`, whose keys are set, at the head of its buckets.
void Link(CertIndex& index, uint32_t i) {
    for (uint32_t kind = 0; kind < kKinds; ++kind) {
        uint32_t bucket = Bucket(index, index.keys[i * kKinds + kind], kind);
        index.links[i * kKinds + kind] = index.heads[bucket];
        index.heads[bucket] = i + 1;
    }
}

// Room for `count` certificates, the filed ones linked again into the
// larger table.
Status Grow(CertIndex& index, uint32_t count) {
    uint64_t capacity = index.capacity == 0 ? kFirstCapacity : index.capacity;
    while (capacity < count) capacity *= 2;
    if (capacity > UINT32_MAX / 4) return kOutOfMemory;
    auto* keys = static_cast<uint64_t*>(mem::AllocateBuffer(capacity * kKinds * sizeof(uint64_t)));
    auto* links = static_cast<uint32_t*>(mem::AllocateBuffer(capacity * kKinds * sizeof(uint32_t)));
    auto* heads = static_cast<uint32_t*>(mem::AllocateBuffer(capacity * 2 * kKinds * sizeof(uint32_t)));
    if (keys == nullptr || links == nullptr || heads == nullptr) {
        mem::FreeBuffer(keys);
        mem::FreeBuffer(links);
        mem::FreeBuffer(heads);
        return kOutOfMemory;
    }
    const uint32_t filed = index.filed;
    if (filed != 0) std::memcpy(keys, index.keys, size_t{filed} * kKinds * sizeof(uint64_t));
    std::memset(heads, 0, capacity * 2 * kKinds * sizeof(uint32_t));
    CertIndexFree(&index);
    index = CertIndex{filed, static_cast<uint32_t>(capacity), keys, links, heads};
    for (uint32_t i = 0; i < filed; ++i) Link(index, i);
    return kOk;
}

}  // namespace

Status CertIndexSync(CertIndex* index, const ObjectList* certs) {
    uint32_t count = 0;
    if (Status status = ObjectListCount(certs, &count); status != kOk) return status;
    if (count > index->capacity) {
        if (Status status = Grow(*index, count); status != kOk) return status;
    }
    for (uint32_t i = index->filed; i < count; ++i) {
        void* payload = nullptr;
        CertFields fields{};
        if (Status status = ObjectListGet(certs, i, &payload); status != kOk) return status;
        if (Status status = CertGetFields(static_cast<CertObject*>(payload), &fields); status != kOk) return status;
        index->keys[i * kKinds] = NameStoredKey(fields.subject);
        index->keys[i * kKinds + 1] = NameKeyWithSerial(NameStoredKey(fields.issuer), fields.serialNumber.data,
                                                        fields.serialNumber.length);
        Link(*index, i);
        index->filed = i + 1;
    }
    return kOk;
}

void CertIndexReset(CertIndex* index) {
    index->filed = 0;
    if (index->heads != nullptr) std::memset(index->heads, 0, size_t{index->capacity} * 2 * kKinds * sizeof(uint32_t));
}

void CertIndexFree(CertIndex* index) {
    mem::FreeBuffer(index->keys);
    mem::FreeBuffer(index->links);
    mem::FreeBuffer(index->heads);
    *index = CertIndex{};
}

CertIndexCandidates::~CertIndexCandidates() {
    mem::FreeBuffer(items_);
}

Status CertIndexCandidates::Add(uint32_t item) {
    if (count_ == capacity_) {
        uint32_t capacity = capacity_ == 0 ? kFirstCapacity : capacity_ * 2;
        auto* grown = static_cast<uint32_t*>(mem::ReallocateBuffer(items_, size_t{capacity} * sizeof(uint32_t)));
        if (grown == nullptr) return kOutOfMemory;
        items_ = grown;
        capacity_ = capacity;
    }
    items_[count_++] = item;
    return kOk;
}

Status CertIndexCandidates::Collect(const CertIndex& index, CertKeyKind kind, const NameObject* name,
                               const uint8_t* serial, uint32_t serialLength) {
    const auto column = static_cast<uint32_t>(kind);
    count_ = 0;
    if (index.filed == 0) return kOk;
    for (uint32_t k = 0, keys = NameLookupKeyCount(name); k < keys; ++k) {
        uint64_t key = NameLookupKey(name, k);
        if (kind == CertKeyKind::kIssuerSerial) key = NameKeyWithSerial(key, serial, serialLength);
        for (uint32_t next = index.heads[Bucket(index, key, column)]; next != 0;
             next = index.links[(next - 1) * kKinds + column]) {
            if (index.keys[(next - 1) * kKinds + column] != key) continue;
            if (Status status = Add(next - 1); status != kOk) return status;
        }
    }
    std::sort(items_, items_ + count_);
    count_ = static_cast<uint32_t>(std::unique(items_, items_ + count_) - items_);
    return kOk;
}

}  // namespace korva::toolkit
