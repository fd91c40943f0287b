// An index of a list of certificates: by subject name and by issuer name
// with serial number, under the keys of NameKey.h, so a lookup reads the few
// certificates filed under its keys instead of all of them. It files the
// list's certificates lazily, before each lookup: the list only grows
// between lookups, and a removal must start the filing over.
#pragma once

#include <cstdint>

#include "toolkit/ObjectList.h"

namespace korva::toolkit {

struct NameObject;

// One hash table of chains per key kind; links and keys are per certificate
// (its list index), heads per bucket. Zero-initialised it is empty.
struct CertIndex {
    uint32_t filed;     // certificates [0, filed) of the list are in the table
    uint32_t capacity;  // certificates the arrays hold; buckets are twice as many
    uint64_t* keys;     // [capacity][2]: subject key, issuer and serial key
    uint32_t* links;    // [capacity][2]: the next certificate in its bucket, plus 1 (0 ends)
    uint32_t* heads;    // [2 * capacity][2]: the first certificate of each bucket, plus 1
};

enum class CertKeyKind : uint32_t { kSubject = 0, kIssuerSerial = 1 };

// Files the certificates added since the last call. 1797 when memory runs out
// (the index is then left as it was).
Status CertIndexSync(CertIndex* index, const ObjectList* certs);
// Forget every filing; the next sync files the whole list again.
void CertIndexReset(CertIndex* index);
void CertIndexFree(CertIndex* index);

// The list indexes filed under any lookup key of `name` (with `serial` for
// issuer lookups), ascending and each once: candidates NameCompare must confirm.
class CertIndexCandidates {
public:
    CertIndexCandidates() = default;
    ~CertIndexCandidates();
    CertIndexCandidates(const CertIndexCandidates&) = delete;
    CertIndexCandidates& operator=(const CertIndexCandidates&) = delete;

    Status Collect(const CertIndex& index, CertKeyKind kind, const NameObject* name, const uint8_t* serial,
                   uint32_t serialLength);
    uint32_t count() const { return count_; }
    uint32_t operator[](uint32_t i) const { return items_[i]; }

private:
    Status Add(uint32_t item);
    uint32_t* items_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace korva::toolkit
