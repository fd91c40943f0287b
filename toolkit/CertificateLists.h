// Certificates in object lists: by deep copy (a new certificate under the
// same context from the source's DER), by new reference, and by reference
// unless an equal certificate (CertEqual) is already there.
#pragma once

#include "toolkit/CertIndex.h"
#include "toolkit/Certificate.h"
#include "toolkit/ObjectList.h"

namespace korva::toolkit {

// By reference, certificates use the lists' own kListByReference.
extern const ObjectListMethods kCertListByCopy;

// `outIndex` may be null.
Status CertListAppendCopy(ObjectList* list, CertObject* cert, uint32_t* outIndex);
Status CertListAppendReference(ObjectList* list, CertObject* cert, uint32_t* outIndex);
// Success without adding when an equal certificate is in the list.
Status CertListAppendUnique(ObjectList* list, CertObject* cert, uint32_t* outIndex);
// The index of a certificate equal to `cert`, or 1800.
Status CertListFind(const ObjectList* list, const CertObject* cert, uint32_t* index);

// CertListAppendUnique for many certificates into one list, each looked for
// through an index of the list instead of a walk over it. Only this
// appender may change the list while it lives.
class CertListAppender {
public:
    explicit CertListAppender(ObjectList* list) : list_(list) {}
    ~CertListAppender() { CertIndexFree(&index_); }
    CertListAppender(const CertListAppender&) = delete;
    CertListAppender& operator=(const CertListAppender&) = delete;

    Status Append(CertObject* cert);

private:
    ObjectList* list_;
    CertIndex index_{};
};

}  // namespace korva::toolkit
