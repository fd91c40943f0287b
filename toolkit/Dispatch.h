// Requests to the certificate-status (class 5) and path-processing (class 6)
// providers. Each request walks the class's chain in order: a provider
// without the slot is skipped, an answer of 1874 passes the request on, and
// the first other answer is the result. 1874 when every provider passed,
// 1860 when none has the slot.
#pragma once

#include <cstdint>

#include "toolkit/ObjectList.h"
#include "toolkit/Providers.h"

namespace korva::toolkit {

struct PathParams;
struct KeyObject;

// What a certificate-status provider answers. The detail is a toolkit object
// of the kind `detailKind` (1-4) names, owned by the record.
struct CertStatusResult {
    uint32_t status;  // 0: good
    uint32_t detailKind;
    ObjectHeader* detail;
};
// A status that leaves the question open for the next provider.
inline constexpr uint32_t kCertStatusUndetermined = 2;

inline constexpr uint32_t kSlotCertStatus = 1;
inline constexpr uint32_t kSlotPathVerify = 2;
inline constexpr uint32_t kSlotPathBuild = 3;

using CertStatusSlot = Status (*)(ToolkitContext* context, void* handle, const PathParams* params,
                                  ObjectHeader* cert, CertStatusResult* result);
using PathVerifySlot = Status (*)(ToolkitContext* context, void* handle, const PathParams* params,
                                  ObjectHeader* cert, KeyObject* key);
using PathBuildSlot = Status (*)(ToolkitContext* context, void* handle, const PathParams* params,
                                 ObjectHeader* startObject, ObjectList* outPath, ObjectList* out2, ObjectList* out3,
                                 ObjectList* out4);

// Before each provider the detail left by the previous one is released and
// the record cleared; an answer of 0 with status 2 also passes on.
Status CertStatusRequest(ToolkitContext* context, const PathParams* params, ObjectHeader* cert,
                         CertStatusResult* result);
// Checks one certificate against a key.
Status PathVerifyRequest(ToolkitContext* context, const PathParams* params, ObjectHeader* cert, KeyObject* key);
// Builds a path from a certificate or CRL; every out list given must be a list.
Status PathBuildRequest(ToolkitContext* context, const PathParams* params, ObjectHeader* startObject,
                        ObjectList* outPath, ObjectList* out2, ObjectList* out3, ObjectList* out4);

}  // namespace korva::toolkit
