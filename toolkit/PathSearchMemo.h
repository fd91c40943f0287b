// What one path-building request remembers about the certificates it met:
// each one's issuer candidates, found once, and whether it is proven to
// lead nowhere. Certificates are told apart by object, so a look-alike
// with the same issuer and serial number is searched in its own right.
#pragma once

#include <cstdint>

#include "toolkit/ObjectList.h"

namespace korva::toolkit {

struct CertObject;

struct PathMemoEntry {
    CertObject* cert;
    ObjectList* candidates;  // null until searched; owned by the memo
    bool searched;
    bool dead;  // its whole search failed without depending on the path below it
};

class PathSearchMemo {
public:
    PathSearchMemo() = default;
    ~PathSearchMemo();
    PathSearchMemo(const PathSearchMemo&) = delete;
    PathSearchMemo& operator=(const PathSearchMemo&) = delete;

    // The entry of `cert`, added when new; null when memory runs out.
    PathMemoEntry* Entry(CertObject* cert);
    // The entry of `cert` if it has one.
    const PathMemoEntry* Find(const CertObject* cert) const;

private:
    // The slot where `cert`'s entry is or would go.
    uint32_t Slot(const CertObject* cert) const;
    bool Grow();

    PathMemoEntry* entries_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    // Open addressing over twice the capacity: entry index plus 1, 0 free.
    uint32_t* slots_ = nullptr;
};

}  // namespace korva::toolkit
