// Requests to the certificate-database providers (class 4) of a binding: the
// only way callers reach a database. Each checks the binding first (1799,
// reported as "database" for a binding of another class) and answers 1860,
// reported, when no provider of the binding has the slot.
#pragma once

#include <cstdint>

#include "toolkit/ObjectList.h"
#include "toolkit/ServiceBinding.h"

namespace korva::toolkit {

struct CertObject;
struct NameObject;
struct ExtensionList;

// Table slots of the certificate database that the requests call.
inline constexpr uint32_t kSlotDbInsertCert = 1;
inline constexpr uint32_t kSlotDbSelectByIssuerSerial = 5;
inline constexpr uint32_t kSlotDbSelectBySubject = 6;
inline constexpr uint32_t kSlotDbSelectCerts = 7;

using DbInsertCertSlot = Status (*)(ToolkitContext* context, void* handle, CertObject* cert);
using DbSelectByIssuerSerialSlot = Status (*)(ToolkitContext* context, void* handle, const NameObject* issuer,
                                              const uint8_t* serial, uint32_t serialLength, ObjectList* out);
using DbSelectBySubjectSlot = Status (*)(ToolkitContext* context, void* handle, const NameObject* subject,
                                         ObjectList* out);
using DbSelectCertsSlot = Status (*)(ToolkitContext* context, void* handle, const NameObject* nameFilter,
                                     const ExtensionList* extensionFilter, ObjectList* out);

// Every provider is called; success when any succeeded, otherwise the last
// failure. 1831 for a missing certificate.
Status DbInsertCert(ServiceBinding* binding, CertObject* cert);
// Providers in order; the first success ends the request.
Status DbSelectByIssuerSerial(ServiceBinding* binding, const NameObject* issuer, const uint8_t* serial,
                              uint32_t serialLength, ObjectList* out);
// Every provider adds what it has; success when any succeeded.
Status DbSelectBySubject(ServiceBinding* binding, const NameObject* subject, ObjectList* out);
Status DbSelectCerts(ServiceBinding* binding, const NameObject* nameFilter, const ExtensionList* extensionFilter,
                     ObjectList* out);

}  // namespace korva::toolkit
