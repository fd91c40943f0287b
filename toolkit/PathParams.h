// The request record every path-processing slot receives.
#pragma once

#include <cstdint>

namespace korva::toolkit {

struct ObjectList;
struct ServiceBinding;

// Request kinds this provider answers; any other value passes on with 1874.
inline constexpr uint32_t kPathKindChainOnly = 1;
inline constexpr uint32_t kPathKindValidate = 2;
inline constexpr uint32_t kPathKindAlternative = 3;

// Option bits of PathParams::flags.
inline constexpr uint32_t kPathNoSignatures = 0x1;
inline constexpr uint32_t kPathNoValidity = 0x2;
inline constexpr uint32_t kPathNoStatus = 0x4;
inline constexpr uint32_t kPathNoNameConstraints = 0x10;
inline constexpr uint32_t kPathNoBasicConstraints = 0x20;
inline constexpr uint32_t kPathNoKeyUsage = 0x40;
inline constexpr uint32_t kPathNameSearchOnly = 0x200;
inline constexpr uint32_t kPathNoPolicies = 0x8000;
inline constexpr uint32_t kPathPolicyMappingInhibited = 0x20000;
inline constexpr uint32_t kPathExplicitPolicy = 0x40000;
inline constexpr uint32_t kPathAnyPolicyInhibited = 0x80000;
inline constexpr uint32_t kPathNoCriticalExtensions = 0x80000000;

struct PathParams {
    uint32_t kind;
    uint32_t flags;
    ObjectList* trustedCerts;     // trust anchors, searched first for issuers
    ObjectList* initialPolicies;  // policy OIDs, kinds 2 and 3
    uint32_t time;                // seconds since 1970
    ServiceBinding* database;     // searched for issuers after the anchors
};

}  // namespace korva::toolkit
