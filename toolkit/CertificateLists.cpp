#include "toolkit/CertificateLists.h"

namespace korva::toolkit {

namespace {

// A new certificate under the source's context, from the source's DER.
Status CopyCert(void* source, void** payload) {
    auto* cert = static_cast<CertObject*>(source);
    if (!IsCertificate(cert)) return kInvalidCertificate;
    if (cert->encoding == nullptr) return kNoEncodingToVerify;
    CertObject* copy = nullptr;
    Status status = CertCreate(&copy, cert->context);
    if (status == kOk) status = CertSetEncoding(copy, cert->encoding, cert->encodingLength);
    if (status != kOk) {
        CertFree(&copy);
        return status;
    }
    *payload = copy;
    return kOk;
}

void DestroyCert(void* payload) {
    auto* cert = static_cast<CertObject*>(payload);
    CertFree(&cert);
}

}  // namespace

const ObjectListMethods kCertListByCopy = {CopyCert, DestroyCert};

Status CertListAppendCopy(ObjectList* list, CertObject* cert, uint32_t* outIndex) {
    return ObjectListAppend(list, cert, outIndex, &kCertListByCopy);
}

Status CertListAppendReference(ObjectList* list, CertObject* cert, uint32_t* outIndex) {
    if (!IsCertificate(cert)) return kInvalidCertificate;
    return ObjectListAppend(list, cert, outIndex, &kListByReference);
}

Status CertListFind(const ObjectList* list, const CertObject* cert, uint32_t* index) {
    uint32_t count = 0;
    if (Status status = ObjectListCount(list, &count); status != kOk) return status;
    for (uint32_t i = 0; i < count; ++i) {
        void* payload = nullptr;
        if (ObjectListGet(list, i, &payload) == kOk && CertEqual(static_cast<const CertObject*>(payload), cert)) {
            if (index != nullptr) *index = i;
            return kOk;
        }
    }
    return kNotFound;
}

Status CertListAppendUnique(ObjectList* list, CertObject* cert, uint32_t* outIndex) {
    if (!IsCertificate(cert)) return kInvalidCertificate;
    Status status = CertListFind(list, cert, outIndex);
    if (status == kOk) return kOk;
    if (status != kNotFound) return status;
    return CertListAppendReference(list, cert, outIndex);
}

Status CertListAppender::Append(CertObject* cert) {
    if (!IsCertificate(cert)) return kInvalidCertificate;
    CertIndexCandidates candidates;
    Status status = CertIndexSync(&index_, list_);
    if (status == kOk) {
        status = candidates.Collect(index_, CertKeyKind::kIssuerSerial, cert->fields.issuer,
                                    cert->fields.serialNumber.data, cert->fields.serialNumber.length);
    }
    for (uint32_t i = 0; status == kOk && i < candidates.count(); ++i) {
        void* payload = nullptr;
        Status got = ObjectListGet(list_, candidates[i], &payload);
        if (got == kOk && CertEqual(static_cast<const CertObject*>(payload), cert)) return kOk;
    }
    return status == kOk ? CertListAppendReference(list_, cert, nullptr) : status;
}

}  // namespace korva::toolkit
