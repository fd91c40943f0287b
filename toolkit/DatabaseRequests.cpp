#include "toolkit/DatabaseRequests.h"

#include "toolkit/Objects.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace {

enum class Until {
    FirstSuccess,  // stop at the first provider that succeeds
    AllProviders,  // ask every provider; success when any succeeded
};

// Calls `slot` of each provider of the binding. Without any provider having
// the slot the answer is 1860; otherwise success when one succeeded, else
// the last failure.
template <typename Slot, typename Call>
Status AskProviders(ServiceBinding* binding, uint32_t slot, Until until, Call call) {
    if (Status status = DatabaseBindingCheck(binding); status != kOk) return status;
    bool anyProviderHasSlot = false;
    bool anySucceeded = false;
    Status last = kOk;
    for (const BindingNode* node = binding->first; node != nullptr; node = node->next) {
        Slot function = node->provider->SlotAs<Slot>(slot);
        if (function == nullptr) continue;
        anyProviderHasSlot = true;
        last = call(function, binding->context, node->provider->handle);
        if (last == kOk) {
            anySucceeded = true;
            if (until == Until::FirstSuccess) break;
        }
    }
    if (!anyProviderHasSlot) return StatusReport(binding->context, kNoProvider, kSeverityError, __FILE__, __LINE__);
    return anySucceeded ? kOk : last;
}

}  // namespace

Status DbInsertCert(ServiceBinding* binding, CertObject* cert) {
    if (Status status = DatabaseBindingCheck(binding); status != kOk) return status;
    if (!HasHeaderTag(cert, kTagCertificate)) return kInvalidCertificate;
    return AskProviders<DbInsertCertSlot>(binding, kSlotDbInsertCert, Until::AllProviders,
                                          [&](DbInsertCertSlot insert, ToolkitContext* context, void* handle) {
        return insert(context, handle, cert);
    });
}

Status DbSelectByIssuerSerial(ServiceBinding* binding, const NameObject* issuer, const uint8_t* serial,
                              uint32_t serialLength, ObjectList* out) {
    return AskProviders<DbSelectByIssuerSerialSlot>(
        binding, kSlotDbSelectByIssuerSerial, Until::FirstSuccess,
        [&](DbSelectByIssuerSerialSlot select, ToolkitContext* context, void* handle) {
            return select(context, handle, issuer, serial, serialLength, out);
        });
}

Status DbSelectBySubject(ServiceBinding* binding, const NameObject* subject, ObjectList* out) {
    return AskProviders<DbSelectBySubjectSlot>(binding, kSlotDbSelectBySubject, Until::AllProviders,
                                               [&](DbSelectBySubjectSlot select, ToolkitContext* context,
                                                   void* handle) { return select(context, handle, subject, out); });
}

Status DbSelectCerts(ServiceBinding* binding, const NameObject* nameFilter, const ExtensionList* extensionFilter,
                     ObjectList* out) {
    return AskProviders<DbSelectCertsSlot>(binding, kSlotDbSelectCerts, Until::AllProviders,
                                           [&](DbSelectCertsSlot select, ToolkitContext* context, void* handle) {
        return select(context, handle, nameFilter, extensionFilter, out);
    });
}

}  // namespace korva::toolkit
