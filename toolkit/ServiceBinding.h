// Service bindings (tag 2008): the providers of one class that a caller has
// selected by name or by position, in the order of selection.
#pragma once

#include <cstdint>

#include "toolkit/Providers.h"

namespace korva::toolkit {

struct BindingNode {
    BindingNode* next;
    ProviderEntry* provider;
};

struct ServiceBinding {
    uint32_t tag;  // kTagServiceBinding, in the first word
    uint32_t serviceClass;
    ToolkitContext* context;
    BindingNode* first;
};

bool IsServiceBinding(const void* handle);

// With names (nameCount >= 1): the provider of each name in turn, stopping
// at the first name no provider has. Without: the first nameCount providers
// of the chain, all of them for 0. 1860 when nothing was selected.
Status ServiceBind(ToolkitContext* context, uint32_t type, const char* const* names, uint32_t nameCount,
                   ServiceBinding** outBinding);
Status ServiceBindOne(ToolkitContext* context, uint32_t type, const char* name, ServiceBinding** outBinding);
// Frees the binding; the providers are not affected.
Status ServiceUnbind(ServiceBinding** binding);

// The check every certificate-database request makes of its binding.
Status DatabaseBindingCheck(const ServiceBinding* binding);

}  // namespace korva::toolkit
