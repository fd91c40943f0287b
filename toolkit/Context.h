// The toolkit context: one provider chain per service class, the caches the
// class-0 and class-2 providers fill, and the extension type registry.
#pragma once

#include <cstdint>

#include "toolkit/Providers.h"

namespace korva::toolkit {

struct ExtensionTypeRegistry;

// Option bits of a context's flags.
inline constexpr uint32_t kContextFlagStrictExpiry = 2;       // an expiry beyond 32 bits fails
inline constexpr uint32_t kContextFlagAnyPublicKey = 4;       // no key-format check of certificates
inline constexpr uint32_t kContextFlagStrictCriticality = 8;  // some extensions must be critical

struct ToolkitContext {
    uint32_t tag;  // kTagContext, in the first word
    uint32_t flags;
    ProviderEntry* providers[kServiceClassCount];
    ProviderFunction callbackFunction;
    void* callbackHandle;
    ExtensionTypeRegistry* extensionTypes;
    const AlgorithmSet* algorithmSet;
};

bool IsContext(const void* handle);

// Registers `records` class by class (0 to 7), within a class in array
// order, each with its entry of `params` (may be null). On failure the
// partly built context is freed and `outContext` cleared.
Status ContextCreate(const ProviderRecord* records, void* const* params, uint32_t count, ToolkitContext** outContext);
// Unregisters the providers, last class first, and frees the context.
void ContextFree(ToolkitContext** context);
Status ContextGetFlags(ToolkitContext* context, uint32_t* flags);

// Set once any context has been created; signature verification then takes
// its callbacks and algorithms from the certificate's context.
bool ContextModeEnabled();

}  // namespace korva::toolkit
