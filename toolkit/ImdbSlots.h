// The slot functions of the in-memory database provider, in table order.
// Every slot takes the context and the provider handle first. Invalid
// arguments and absent stores are reported with the source line of the check.
#pragma once

#include <cstdint>

#include "toolkit/ObjectList.h"

namespace korva::toolkit {

struct ToolkitContext;
struct CertObject;
struct CrlObject;
struct NameObject;
struct ExtensionList;
struct KeyObject;

// An iterator is a position the first call allocates; the walk's end or
// failure frees it, as does the iterator-free slot.
using ImdbIterator = uint32_t*;

void ImdbRelease(ToolkitContext* context, void* handle, const char* name);
Status ImdbInsertCert(ToolkitContext* context, void* handle, CertObject* cert);
Status ImdbInsertCrl(ToolkitContext* context, void* handle, CrlObject* crl);
Status ImdbInsertKeyForCert(ToolkitContext* context, void* handle, const CertObject* cert, const KeyObject* key);
Status ImdbInsertKey(ToolkitContext* context, void* handle, const uint8_t* keyId, uint32_t keyIdLength,
                     const KeyObject* key);
Status ImdbSelectByIssuerSerial(ToolkitContext* context, void* handle, const NameObject* issuer, const uint8_t* serial,
                                uint32_t serialLength, ObjectList* out);
Status ImdbSelectBySubject(ToolkitContext* context, void* handle, const NameObject* subject, ObjectList* out);
Status ImdbSelectCerts(ToolkitContext* context, void* handle, const NameObject* nameFilter,
                       const ExtensionList* extensionFilter, ObjectList* out);
Status ImdbFirstCert(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out);
Status ImdbNextCert(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out);
Status ImdbEndIteration(ToolkitContext* context, void* handle, ImdbIterator* iterator);
Status ImdbSelectCrl(ToolkitContext* context, void* handle, const NameObject* issuer, uint32_t time, ObjectList* out);
Status ImdbFirstCrl(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out);
Status ImdbNextCrl(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out);
Status ImdbGetKeyForCert(ToolkitContext* context, void* handle, const CertObject* cert, KeyObject* outKey);
Status ImdbGetKey(ToolkitContext* context, void* handle, const uint8_t* keyId, uint32_t keyIdLength,
                  KeyObject* outKey);
Status ImdbFirstKey(ToolkitContext* context, void* handle, ImdbIterator* iterator, KeyObject* outKey);
Status ImdbNextKey(ToolkitContext* context, void* handle, ImdbIterator* iterator, KeyObject* outKey);
Status ImdbDeleteByIssuerSerial(ToolkitContext* context, void* handle, const NameObject* issuer,
                                const uint8_t* serial, uint32_t serialLength);
Status ImdbDeleteCrl(ToolkitContext* context, void* handle, const NameObject* issuer, uint32_t thisUpdate);
Status ImdbDeleteKeyForCert(ToolkitContext* context, void* handle, const CertObject* cert);
Status ImdbDeleteKey(ToolkitContext* context, void* handle, const uint8_t* keyId, uint32_t keyIdLength);

// Slot numbers of the table.
enum ImdbSlot : uint32_t {
    kImdbRelease = 0,
    kImdbInsertCert,
    kImdbInsertCrl,
    kImdbInsertKeyForCert,
    kImdbInsertKey,
    kImdbSelectByIssuerSerial,
    kImdbSelectBySubject,
    kImdbSelectCerts,
    kImdbFirstCert,
    kImdbNextCert,
    kImdbEndCertIteration,
    kImdbSelectCrl,
    kImdbFirstCrl,
    kImdbNextCrl,
    kImdbEndCrlIteration,
    kImdbGetKeyForCert,
    kImdbGetKey,
    kImdbFirstKey,
    kImdbNextKey,
    kImdbEndKeyIteration,
    kImdbDeleteByIssuerSerial,
    kImdbDeleteCrl,
    kImdbDeleteKeyForCert,
    kImdbDeleteKey,
    kImdbSlotCount,
};

}  // namespace korva::toolkit
