#include "toolkit/PathIssuers.h"

#include <cstring>

#include "platform/ByteWriter.h"
#include "runtime/MemoryService.h"
#include "toolkit/CertificateLists.h"
#include "toolkit/Crl.h"
#include "toolkit/DatabaseRequests.h"
#include "toolkit/DerElements.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/KeyFromSpki.h"
#include "toolkit/PathExtensions.h"
#include "toolkit/PathLists.h"
#include "toolkit/PathProvider.h"
#include "toolkit/PathReport.h"
#include "toolkit/PathRules.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

// What the search needs of the object whose issuer is sought.
struct IssuedObject {
    ObjectHeader* object;
    bool isCrl;
    const NameObject* issuer;
    const ExtensionList* extensions;
};

Status Describe(ObjectHeader* base, IssuedObject* out) {
    if (IsCrl(base)) {
        const auto* crl = static_cast<const CrlObject*>(base);
        *out = IssuedObject{base, true, crl->issuer, crl->extensions};
        return kOk;
    }
    CertFields fields{};
    if (Status status = CertGetFields(static_cast<const CertObject*>(base), &fields); status != kOk) return status;
    *out = IssuedObject{base, false, fields.issuer, fields.extensions};
    return kOk;
}

bool SameBytes(const uint8_t* a, uint32_t aLength, const uint8_t* b, uint32_t bLength) {
    return aLength == bLength && (aLength == 0 || std::memcmp(a, b, aLength) == 0);
}

// Every trusted certificate whose subject is `name`, then the database's.
Status SearchBySubject(const PathParams* params, const NameObject* name, ObjectList* found) {
    uint32_t trusted = PathListCount(params->trustedCerts);
    for (uint32_t i = 0; i < trusted; ++i) {
        CertObject* cert = PathListCert(params->trustedCerts, i);
        CertFields fields{};
        if (cert == nullptr || CertGetFields(cert, &fields) != kOk || NameCompare(fields.subject, name) != 0) continue;
        if (Status status = CertListAppendUnique(found, cert, nullptr); status != kOk) return status;
    }
    Status status = DbSelectBySubject(params->database, name, found);
    return status == kNotFound ? kOk : status;
}

// Keeps the candidates whose subjectKeyIdentifier is `keyId`.
void KeepKeyIdentifier(ToolkitContext* context, ObjectList* found, const ValueBytes& keyId) {
    for (uint32_t i = PathListCount(found); i-- > 0;) {
        CertFields fields{};
        CertGetFields(PathListCert(found, i), &fields);
        const auto* ski = PathExtensionValue<SubjectKeyIdentifierValue>(fields.extensions, oid::kSubjectKeyIdentifier);
        if (ski != nullptr &&
            SameBytes(ski->keyIdentifier.data, ski->keyIdentifier.length, keyId.data, keyId.length)) {
            continue;
        }
        PathReject(context, ski == nullptr ? PathReason::kNoSubjectKeyId : PathReason::kKeyIdMismatch);
        ObjectListRemove(found, i);
    }
}

// A directory name: the first trusted certificate with that issuer and
// serial number, else the database's.
Status SearchDirectoryName(ToolkitContext* context, const PathParams* params, const GeneralName& name,
                           const ValueBytes& serial, ObjectList* found) {
    NameObject* issuer = nullptr;
    if (Status status = NameCreate(context, &issuer); status != kOk) return status;
    Status status = NameSetEncoding(issuer, name.value.data, name.value.length);
    if (status != kOk) {
        NameFree(&issuer);
        return status == kOutOfMemory ? status : kOk;
    }
    uint32_t trusted = PathListCount(params->trustedCerts);
    for (uint32_t i = 0; i < trusted; ++i) {
        CertObject* cert = PathListCert(params->trustedCerts, i);
        CertFields fields{};
        if (cert == nullptr || CertGetFields(cert, &fields) != kOk) continue;
        if (NameCompare(fields.issuer, issuer) == 0 &&
            SameBytes(fields.serialNumber.data, fields.serialNumber.length, serial.data, serial.length)) {
            NameFree(&issuer);
            return CertListAppendUnique(found, cert, nullptr);
        }
    }
    status = DbSelectByIssuerSerial(params->database, issuer, serial.data, serial.length, found);
    NameFree(&issuer);
    return status == kNotFound ? kOk : status;
}

// The subjectAltName value (GeneralNames) that holds `name` alone.
Status EncodeAltName(const GeneralName& name, uint8_t** der, uint32_t* derLength) {
    bool constructed = name.form == kGeneralNameOther || name.form == kGeneralNameX400 ||
                       name.form == kGeneralNameEdiParty;
    uint8_t tagClass = static_cast<uint8_t>(der::kContext | (constructed ? der::kConstructed : 0));
    size_t inner = der::ElementSize(name.form, name.value.length);
    size_t total = der::ElementSize(der::kTagSequence, inner);
    auto* buffer = static_cast<uint8_t*>(mem::AllocateBuffer(total));
    if (buffer == nullptr) return kOutOfMemory;
    platform::ByteWriter writer({buffer, total});
    bool written = writer.WriteDerHeader(der::kConstructed, der::kTagSequence, static_cast<uint32_t>(inner)) &&
                   writer.WriteDerHeader(tagClass, name.form, name.value.length) &&
                   writer.WriteBytes({name.value.data, name.value.length});
    if (!written) {
        mem::FreeBuffer(buffer);
        return kMalformedEncoding;
    }
    *der = buffer;
    *derLength = static_cast<uint32_t>(total);
    return kOk;
}

// Any other name: the certificates whose subjectAltName holds it, kept
// when their serial number is `serial`.
Status SearchAltName(ToolkitContext* context, const PathParams* params, const GeneralName& name,
                     const ValueBytes& serial, ObjectList* found) {
    uint8_t* value = nullptr;
    uint32_t valueLength = 0;
    ExtensionList* filter = nullptr;
    ObjectList* matches = nullptr;
    Status status = EncodeAltName(name, &value, &valueLength);
    if (status == kOk) status = ExtensionListCreate(context, kExtensionInCertificate, &filter);
    if (status == kOk) {
        status = ExtensionListAdd(filter, oid::kSubjectAltName, sizeof oid::kSubjectAltName, 0, value, valueLength);
    }
    if (status == kOk) status = ObjectListCreate(&matches);
    if (status == kOk) status = DbSelectCerts(params->database, nullptr, filter, matches);
    if (status == kNotFound) status = kOk;
    CertListAppender appender(found);
    for (uint32_t i = 0; status == kOk && i < PathListCount(matches); ++i) {
        CertFields fields{};
        CertObject* cert = PathListCert(matches, i);
        if (CertGetFields(cert, &fields) != kOk ||
            !SameBytes(fields.serialNumber.data, fields.serialNumber.length, serial.data, serial.length)) {
            continue;
        }
        status = appender.Append(cert);
    }
    ObjectListFree(&matches);
    ExtensionListFree(&filter);
    mem::FreeBuffer(value);
    // A name the filter cannot hold finds nothing; only memory ends the search.
    return status == kOutOfMemory || status == kOk ? status : kOk;
}

Status SearchByIssuerSerial(ToolkitContext* context, const PathParams* params,
                            const AuthorityKeyIdentifierValue& aki, ObjectList* found) {
    for (uint32_t i = 0; i < aki.issuer.count; ++i) {
        const GeneralName& name = aki.issuer.names[i];
        Status status = name.form == kGeneralNameDirectory
                            ? SearchDirectoryName(context, params, name, aki.serialNumber, found)
                            : SearchAltName(context, params, name, aki.serialNumber, found);
        if (status != kOk) return status;
    }
    return kOk;
}

Status Search(ToolkitContext* context, const PathParams* params, const IssuedObject& base, ObjectList* found) {
    bool useAki = (params->flags & kPathNameSearchOnly) == 0 && params->kind != kPathKindChainOnly;
    const auto* aki =
        useAki ? PathExtensionValue<AuthorityKeyIdentifierValue>(base.extensions, oid::kAuthorityKeyIdentifier) : nullptr;
    if (aki != nullptr && aki->hasKeyIdentifier != 0) {
        if (Status status = SearchBySubject(params, base.issuer, found); status != kOk) return status;
        KeepKeyIdentifier(context, found, aki->keyIdentifier);
        return kOk;
    }
    if (aki != nullptr && aki->hasIssuer != 0 && aki->hasSerialNumber != 0) {
        return SearchByIssuerSerial(context, params, *aki, found);
    }
    return SearchBySubject(params, base.issuer, found);
}

// The base object's signature checked with the candidate's key: 0, 1823
// for a plain mismatch, 1838 when it cannot be checked.
Status CheckSignature(const IssuedObject& base, const CertObject* candidate) {
    CertFields fields{};
    KeyObject* key = nullptr;
    Status status = CertGetFields(candidate, &fields);
    if (status == kOk) status = StatusTranslate(KeyObjectCreate(&key));
    if (status == kOk) {
        status = StatusTranslate(KeyObjectFromSpki(key, fields.subjectPublicKeyInfo.data,
                                                   fields.subjectPublicKeyInfo.length));
        // A key the core cannot use leaves the signature uncheckable.
        if (status != kOk && status != kOutOfMemory) status = kSignatureUncheckable;
    }
    if (status == kOk) {
        status = base.isCrl ? CrlVerifySignature(static_cast<CrlObject*>(base.object), key)
                            : CertVerifySignature(static_cast<CertObject*>(base.object), key);
    }
    KeyObjectFree(&key);
    return status;
}

// Drops the candidates that fail, last to first; a failure other than an
// uncheckable signature ends the search.
Status Verify(ToolkitContext* context, const PathParams* params, const IssuedObject& base, ObjectList* found,
              PathBudget* budget) {
    for (uint32_t i = PathListCount(found); i-- > 0;) {
        CertObject* candidate = PathListCert(found, i);
        if ((params->flags & kPathNoSignatures) == 0) {
            if (budget != nullptr && budget->signatureChecks >= kPathMaxSignatureChecks) {
                budget->exhausted = true;
                return kPathAtTrustAnchor;
            }
            if (budget != nullptr) ++budget->signatureChecks;
            Status status = CheckSignature(base, candidate);
            if (status == kSignatureUncheckable) {
                PathReject(context, base.isCrl ? PathReason::kCrlSignatureUncheckable
                                               : PathReason::kSignatureNotCheckable);
                ObjectListRemove(found, i);
                continue;
            }
            if (status != kOk) return status;
        }
        if ((params->flags & kPathNoValidity) == 0 && !PathWithinValidity(candidate, params->time)) {
            PathReject(context, PathReason::kOutsideValidity);
            ObjectListRemove(found, i);
        }
    }
    return kOk;
}

}  // namespace

Status PathFindIssuerCandidates(ToolkitContext* context, const PathParams* params, ObjectHeader* baseObject,
                                ObjectList* out, PathBudget* budget) {
    if (!PathKindIsOurs(params->kind)) return PathNotOurs(context);
    if (!IsCertificate(baseObject) && !IsCrl(baseObject)) {
        return StatusReport(context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "baseObject");
    }
    IssuedObject base{};
    ObjectList* found = nullptr;
    Status status = Describe(baseObject, &base);
    if (status == kOk) status = ObjectListCreate(&found);
    if (status == kOk) status = Search(context, params, base, found);
    if (status == kOk) status = Verify(context, params, base, found, budget);
    if (status == kOk) status = PathListMerge(out, found);
    ObjectListFree(&found);
    return status;
}

Status PathFindIssuers(ToolkitContext* context, void*, const PathParams* params, ObjectHeader* baseObject,
                       ObjectList* out) {
    if (params == nullptr) return StatusReport(context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "params");
    return PathFindIssuerCandidates(context, params, baseObject, out, nullptr);
}

}  // namespace korva::toolkit
