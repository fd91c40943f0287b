// The "In-memory Database" provider: certificates, CRLs and public keys kept
// in four object lists for the lifetime of the context. Its init function
// fills all 24 slots of the certificate-database table.
#pragma once

#include <cstdint>

#include "toolkit/CertIndex.h"
#include "toolkit/ObjectList.h"
#include "toolkit/Providers.h"

namespace korva::toolkit {

// The optional params block of ImdbInit: the caller's lists, taken as they
// are and never freed by the provider. A null list is an absent store. The
// caller may append certificates behind the provider's back, but may not
// replace or remove them: the index trusts what it filed.
struct ImdbParams {
    ObjectList* certs;
    ObjectList* crls;
    ObjectList* keyIds;
    ObjectList* keys;
};

struct ImdbHandle {
    uint32_t owned;  // 1 when the provider made the lists and frees them
    ObjectList* certs;
    ObjectList* crls;
    ObjectList* keyIds;  // byte strings: the subjectPublicKeyInfo of each key
    ObjectList* keys;    // KeyObject copies, parallel to keyIds
    CertIndex certIndex;  // of `certs`
};

Status ImdbInit(ToolkitContext* context, void* params, ProviderFunction* funcs, void** handle);

}  // namespace korva::toolkit
