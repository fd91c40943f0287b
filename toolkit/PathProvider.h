// The "Cert Path Processing Provider": builds certification paths up to a
// trust anchor, checks single certificates against a key and validates
// paths. Its handle carries no state; everything lives in the request.
#pragma once

#include <cstdint>

#include "toolkit/Dispatch.h"
#include "toolkit/PathParams.h"

namespace korva::toolkit {

struct KeyObject;

inline constexpr uint32_t kSlotPathFindIssuers = 1;
using PathFindIssuersSlot = Status (*)(ToolkitContext* context, void* handle, const PathParams* params,
                                       ObjectHeader* baseObject, ObjectList* out);

// A params block is only warned about.
Status PathInit(ToolkitContext* context, void* params, ProviderFunction* funcs, void** handle);
void PathRelease(ToolkitContext* context, void* handle, const char* name);

// Appends the verified issuer candidates of a certificate or CRL to `out`,
// skipping certificates already there.
Status PathFindIssuers(ToolkitContext* context, void* handle, const PathParams* params, ObjectHeader* baseObject,
                       ObjectList* out);
// Checks one certificate's validity and its signature with `key`.
Status PathVerifyCert(ToolkitContext* context, void* handle, const PathParams* params, ObjectHeader* cert,
                      KeyObject* key);
// Builds and validates a path from a certificate or CRL; on success the
// path, start first and trust anchor last, is appended to `outPath`. The
// further lists receive the CRLs, certificates and policies of kinds 2
// and 3 (each may be null).
Status PathBuild(ToolkitContext* context, void* handle, const PathParams* params, ObjectHeader* startObject,
                 ObjectList* outPath, ObjectList* outCrls, ObjectList* outCerts, ObjectList* outPolicies);

}  // namespace korva::toolkit
