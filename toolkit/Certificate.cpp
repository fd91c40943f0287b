#include "toolkit/Certificate.h"

#include <cstring>

#include "runtime/MemoryService.h"
#include "toolkit/Context.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

void DestroyCert(ObjectHeader* object) {
    auto* cert = static_cast<CertObject*>(object);
    mem::FreeBuffer(cert->encoding);
    mem::FreeBuffer(cert->pendingCheck);
    NameFree(&cert->fields.issuer);
    NameFree(&cert->fields.subject);
    ExtensionListFree(&cert->fields.extensions);
}

constexpr ObjectMethods kCertMethods = {DestroyCert};

// The context behind a context or registry handle; false for other handles.
bool ContextBehind(void* handle, ToolkitContext** context) {
    *context = nullptr;
    if (handle == nullptr) return true;
    if (IsContext(handle)) {
        *context = static_cast<ToolkitContext*>(handle);
        return true;
    }
    if (HasBodyTag(handle, kTagExtensionTypeRegistry)) {
        *context = static_cast<ExtensionTypeRegistry*>(handle)->context;
        return true;
    }
    return false;
}

}  // namespace

bool IsCertificate(const void* handle) {
    return HasBodyTag(handle, kTagCertificate);
}

Status CertCreate(CertObject** outCert, void* context) {
    ToolkitContext* owner = nullptr;
    if (!ContextBehind(context, &owner)) return StatusReport(nullptr, kInvalidContext, kSeverityError, __FILE__, __LINE__);
    if (outCert == nullptr) return StatusReport(owner, kInvalidCertificate, kSeverityError, __FILE__, __LINE__);
    *outCert = nullptr;
    auto* cert = static_cast<CertObject*>(ObjectNewWithBodyTag(sizeof(CertObject), kTagCertificate, &kCertMethods));
    if (cert == nullptr) return StatusReport(owner, kOutOfMemory, kSeverityError, __FILE__, __LINE__);
    cert->context = owner;
    if (NameCreate(owner, &cert->fields.issuer) != kOk || NameCreate(owner, &cert->fields.subject) != kOk ||
        ExtensionListCreate(context, kExtensionInCertificate, &cert->fields.extensions) != kOk) {
        ObjectRelease(&cert);
        return StatusReport(owner, kOutOfMemory, kSeverityError, __FILE__, __LINE__);
    }
    *outCert = cert;
    return kOk;
}

Status CertAddRef(void* context, CertObject* cert, CertObject** outCert) {
    auto* owner = IsContext(context) ? static_cast<ToolkitContext*>(context) : nullptr;
    if (!IsCertificate(cert)) return StatusReport(owner, kInvalidCertificate, kSeverityError, __FILE__, __LINE__);
    if (outCert == nullptr) {
        return StatusReport(owner, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "outCert");
    }
    ObjectRetain(cert);
    *outCert = cert;
    return kOk;
}

void CertFree(CertObject** cert) {
    if (cert != nullptr && IsCertificate(*cert)) ObjectRelease(cert);
}

Status CertGetFields(const CertObject* cert, CertFields* certFields) {
    if (!IsCertificate(cert)) return StatusReport(nullptr, kInvalidCertificate, kSeverityError, __FILE__, __LINE__);
    if (certFields == nullptr) {
        return StatusReport(cert->context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "certFields");
    }
    *certFields = cert->fields;
    if (cert->fields.extensions->count == 0) certFields->extensions = nullptr;
    return kOk;
}

bool CertEqual(const CertObject* a, const CertObject* b) {
    if (!IsCertificate(a) || !IsCertificate(b)) return false;
    const CertBytes& x = a->fields.serialNumber;
    const CertBytes& y = b->fields.serialNumber;
    if (x.length != y.length || (x.length != 0 && std::memcmp(x.data, y.data, x.length) != 0)) return false;
    return NameCompare(a->fields.issuer, b->fields.issuer) == 0;
}

}  // namespace korva::toolkit
