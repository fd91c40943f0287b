// Reading and merging the certificate lists of path processing. A list
// that cannot be read counts as empty.
#pragma once

#include <cstdint>

#include "toolkit/CertificateLists.h"

namespace korva::toolkit {

inline uint32_t PathListCount(const ObjectList* list) {
    uint32_t count = 0;
    return ObjectListCount(list, &count) == kOk ? count : 0;
}

inline CertObject* PathListCert(const ObjectList* list, uint32_t index) {
    void* payload = nullptr;
    return ObjectListGet(list, index, &payload) == kOk ? static_cast<CertObject*>(payload) : nullptr;
}

// Whether `cert` equals one of the trust anchors.
inline bool PathIsAnchor(const ObjectList* trustedCerts, const CertObject* cert) {
    return CertListFind(trustedCerts, cert, nullptr) == kOk;
}

// Appends the certificates of `from` to `to` (may be null), skipping those already there.
inline Status PathListMerge(ObjectList* to, const ObjectList* from) {
    if (to == nullptr) return kOk;
    CertListAppender appender(to);
    for (uint32_t i = 0; i < PathListCount(from); ++i) {
        if (Status status = appender.Append(PathListCert(from, i)); status != kOk) return status;
    }
    return kOk;
}

}  // namespace korva::toolkit
