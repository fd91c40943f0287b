// Service providers: the records callers hand to ContextCreate, the entries
// a context keeps per service class, and the fixed meaning of table slots.
#pragma once

#include <cstdint>

#include "toolkit/Status.h"

namespace korva::toolkit {

struct ToolkitContext;
struct AlgorithmSet;

// Service types 0-8 select one of eight classes; type 8 is a second name for
// the certificate database.
inline constexpr uint32_t kServiceTypeCount = 9;
inline constexpr uint32_t kServiceClassCount = 8;
inline constexpr uint32_t kNoServiceClass = UINT32_MAX;

inline constexpr uint32_t kClassCallbacks = 0;
inline constexpr uint32_t kClassMessages = 1;
inline constexpr uint32_t kClassAlgorithms = 2;
inline constexpr uint32_t kClassDatabase = 4;
inline constexpr uint32_t kClassCertStatus = 5;
inline constexpr uint32_t kClassPathProcessing = 6;

// The class of a service type; kNoServiceClass for types 9 and above.
uint32_t ServiceClassOf(uint32_t type);

// Slots hold functions of per-class signatures; they are stored type-erased
// and cast back to the slot's signature before the call.
using ProviderFunction = void (*)();
inline constexpr uint32_t kProviderSlotCount = 25;

template <typename Slot>
ProviderFunction AsProviderFunction(Slot function) {
    return reinterpret_cast<ProviderFunction>(function);
}

using ProviderInit = Status (*)(ToolkitContext* context, void* param, ProviderFunction* table, void** handle);

struct ProviderRecord {
    uint32_t type;
    const char* name;
    ProviderInit init;
};

struct ProviderEntry {
    ProviderEntry* next;
    char* name;  // private copy, stored behind the entry
    ProviderFunction table[kProviderSlotCount];
    void* handle;

    template <typename Slot>
    Slot SlotAs(uint32_t slot) const {
        return reinterpret_cast<Slot>(table[slot]);
    }
};

// Slot 0 of every class.
inline constexpr uint32_t kSlotReleaseHandle = 0;
using ReleaseHandleSlot = void (*)(ToolkitContext* context, void* handle, const char* name);

// Class 0 slot 1 is cached in the context for the signature primitives.
inline constexpr uint32_t kSlotCallback = 1;
// Class 1: the format for (code, severity), then the delivery of a message.
inline constexpr uint32_t kSlotMessageFormat = 1;
inline constexpr uint32_t kSlotMessageDeliver = 2;
using MessageFormatSlot = Status (*)(ToolkitContext* context, void* handle, Status code, uint32_t severity,
                                     const char** format);
using MessageDeliverSlot = void (*)(ToolkitContext* context, void* handle, const char* message);
// Class 2 slot 1, called once at registration to fill the context's set.
inline constexpr uint32_t kSlotAlgorithmSet = 1;
using AlgorithmSetSlot = void (*)(ToolkitContext* context, void* handle, const AlgorithmSet** algorithmSet);

inline constexpr uint32_t kInsertAtHead = 0;
inline constexpr uint32_t kAppend = 1;

// Registers one provider at the head or the end of its class's chain.
Status ProviderRegister(ToolkitContext* context, const ProviderRecord* record, void* param, uint32_t position);
// Releases and unlinks the provider of `type`'s class named `name`; unknown
// names are ignored.
void ProviderUnregister(ToolkitContext* context, uint32_t type, const char* name);

}  // namespace korva::toolkit
