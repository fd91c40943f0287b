// The certificate store of the in-memory database: insertion, selection by
// issuer and serial number or by subject, iteration and deletion.
#include <cstring>

#include "toolkit/CertificateLists.h"
#include "toolkit/ImdbStore.h"

namespace korva::toolkit {

namespace {

Status CertStore(ToolkitContext* context, void* handle, ImdbHandle** imdb, const char* file, uint32_t line) {
    if (Status status = ImdbHandleCheck(context, handle, imdb, file, line); status != kOk) return status;
    return ImdbStoreCheck(context, (*imdb)->certs, file, line);
}

Status StoredCert(const ImdbHandle* imdb, uint32_t index, CertObject** cert) {
    void* payload = nullptr;
    Status status = ObjectListGet(imdb->certs, index, &payload);
    if (status == kOk) *cert = static_cast<CertObject*>(payload);
    return status;
}

bool SameSerial(const CertFields& fields, const uint8_t* serial, uint32_t serialLength) {
    return fields.serialNumber.length == serialLength &&
           (serialLength == 0 || std::memcmp(fields.serialNumber.data, serial, serialLength) == 0);
}

// The index of the first stored certificate with that issuer and serial
// number, or 1800.
Status FindIssuerSerial(ImdbHandle* imdb, const NameObject* issuer, const uint8_t* serial, uint32_t serialLength,
                        uint32_t* index) {
    CertIndexCandidates candidates;
    if (Status status = CertIndexSync(&imdb->certIndex, imdb->certs); status != kOk) return status;
    Status status = candidates.Collect(imdb->certIndex, CertKeyKind::kIssuerSerial, issuer, serial, serialLength);
    for (uint32_t i = 0; status == kOk && i < candidates.count(); ++i) {
        CertObject* cert = nullptr;
        CertFields fields{};
        if (Status got = StoredCert(imdb, candidates[i], &cert); got != kOk) return got;
        if (Status got = CertGetFields(cert, &fields); got != kOk) return got;
        if (NameCompare(fields.issuer, issuer) == 0 && SameSerial(fields, serial, serialLength)) {
            *index = candidates[i];
            return kOk;
        }
    }
    return status == kOk ? kNotFound : status;
}

Status CertWalk(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out, bool first) {
    ImdbHandle* imdb = nullptr;
    if (Status status = CertStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    return ImdbWalk(context, imdb->certs, iterator, first, [&](uint32_t index) {
        CertObject* cert = nullptr;
        Status status = StoredCert(imdb, index, &cert);
        return status == kOk ? CertListAppendUnique(out, cert, nullptr) : status;
    });
}

}  // namespace

Status ImdbInsertCert(ToolkitContext* context, void* handle, CertObject* cert) {
    ImdbHandle* imdb = nullptr;
    if (Status status = CertStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    // One certificate per issuer and serial number: a later one is not kept.
    if (!IsCertificate(cert)) return kInvalidCertificate;
    uint32_t index = 0;
    Status status = FindIssuerSerial(imdb, cert->fields.issuer, cert->fields.serialNumber.data,
                                     cert->fields.serialNumber.length, &index);
    return status == kNotFound ? CertListAppendReference(imdb->certs, cert, nullptr) : status;
}

Status ImdbSelectByIssuerSerial(ToolkitContext* context, void* handle, const NameObject* issuer, const uint8_t* serial,
                                uint32_t serialLength, ObjectList* out) {
    ImdbHandle* imdb = nullptr;
    if (Status status = CertStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    if (serial == nullptr) return ImdbReport(context, kInvalidArgument, __FILE__, __LINE__, "serialNumber");
    uint32_t index = 0;
    CertObject* cert = nullptr;
    if (Status status = FindIssuerSerial(imdb, issuer, serial, serialLength, &index); status != kOk) return status;
    if (Status status = StoredCert(imdb, index, &cert); status != kOk) return status;
    return CertListAppendUnique(out, cert, nullptr);
}

Status ImdbSelectBySubject(ToolkitContext* context, void* handle, const NameObject* subject, ObjectList* out) {
    ImdbHandle* imdb = nullptr;
    if (Status status = CertStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    CertIndexCandidates candidates;
    if (Status status = CertIndexSync(&imdb->certIndex, imdb->certs); status != kOk) return status;
    Status collected = candidates.Collect(imdb->certIndex, CertKeyKind::kSubject, subject, nullptr, 0);
    if (collected != kOk) return collected;
    CertListAppender appender(out);
    bool added = false;
    for (uint32_t i = 0; i < candidates.count(); ++i) {
        CertObject* cert = nullptr;
        CertFields fields{};
        if (Status status = StoredCert(imdb, candidates[i], &cert); status != kOk) return status;
        if (Status status = CertGetFields(cert, &fields); status != kOk) return status;
        if (NameCompare(fields.subject, subject) != 0) continue;
        if (Status status = appender.Append(cert); status != kOk) return status;
        added = true;
    }
    return added ? kOk : kNotFound;
}

Status ImdbFirstCert(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out) {
    return CertWalk(context, handle, iterator, out, true);
}

Status ImdbNextCert(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out) {
    return CertWalk(context, handle, iterator, out, false);
}

Status ImdbDeleteByIssuerSerial(ToolkitContext* context, void* handle, const NameObject* issuer,
                                const uint8_t* serial, uint32_t serialLength) {
    ImdbHandle* imdb = nullptr;
    if (Status status = CertStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    if (serial == nullptr) return ImdbReport(context, kInvalidArgument, __FILE__, __LINE__, "serialNumber");
    uint32_t index = 0;
    if (Status status = FindIssuerSerial(imdb, issuer, serial, serialLength, &index); status != kOk) return status;
    CertIndexReset(&imdb->certIndex);
    return ObjectListRemove(imdb->certs, index);
}

}  // namespace korva::toolkit
