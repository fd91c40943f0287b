// CertGetEncoding and its one-time check that the stored DER is canonical:
// the tbsCertificate encoded again from what was decoded must equal it.
#include <cstring>

#include "platform/ByteWriter.h"
#include "runtime/MemoryService.h"
#include "toolkit/DerElements.h"
#include "toolkit/Certificate.h"
#include "toolkit/Context.h"
#include "toolkit/KeyFromSpki.h"
#include "toolkit/NameAttributeTable.h"
#include "toolkit/SignatureAlgorithms.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

using platform::ByteSpan;
using platform::ByteWriter;
using namespace der;

namespace {

ByteSpan Span(const CertBytes& bytes) {
    return {bytes.data, bytes.length};
}

// A name's canonical DER in a buffer of its own.
struct EncodedName {
    uint8_t* der = nullptr;
    size_t length = 0;
    ~EncodedName() { mem::FreeBuffer(der); }
    bool Encode(const NameObject* name) {
        length = NameEncode(name, {});
        der = static_cast<uint8_t*>(mem::AllocateBuffer(length));
        return der != nullptr && NameEncode(name, {der, length}) == length;
    }
};

// What the tbsCertificate would be in DER, from the decoded certificate.
class TbsEncoder {
public:
    TbsEncoder(const CertObject* cert, const EncodedName& issuer, const EncodedName& subject, ByteSpan extensions)
        : cert_(cert), issuer_(issuer), subject_(subject), extensions_(extensions) {}

    size_t ContentSize() const {
        const CertFields& fields = cert_->fields;
        size_t size = fields.version != 0 ? ElementSize(0, ElementSize(kTagInteger, 1)) : 0;
        size += ElementSize(kTagInteger, fields.serialNumber.length) + cert_->signatureAlgorithm.length;
        size += issuer_.length + ElementSize(kTagSequence, cert_->notBeforeTime.length + cert_->notAfterTime.length);
        size += subject_.length + fields.subjectPublicKeyInfo.length;
        if (fields.issuerUniqueID.data != nullptr) size += ElementSize(1, fields.issuerUniqueID.length);
        if (fields.subjectUniqueID.data != nullptr) size += ElementSize(2, fields.subjectUniqueID.length);
        if (!extensions_.empty()) size += ElementSize(3, extensions_.size());
        return size;
    }

    bool Write(ByteWriter& writer) const {
        const CertFields& fields = cert_->fields;
        auto u32 = [](size_t value) { return static_cast<uint32_t>(value); };
        bool ok = writer.WriteDerHeader(kConstructed, kTagSequence, u32(ContentSize()));
        if (ok && fields.version != 0) {
            ok = writer.WriteDerHeader(kContextConstructed, 0, u32(ElementSize(kTagInteger, 1))) &&
                 writer.WriteDerHeader(kUniversal, kTagInteger, 1) && writer.WriteU8(static_cast<uint8_t>(fields.version));
        }
        ok = ok && writer.WriteDerHeader(kUniversal, kTagInteger, fields.serialNumber.length) &&
             writer.WriteBytes(Span(fields.serialNumber)) && writer.WriteBytes(Span(cert_->signatureAlgorithm)) &&
             writer.WriteBytes({issuer_.der, issuer_.length}) &&
             writer.WriteDerHeader(kConstructed, kTagSequence,
                                   cert_->notBeforeTime.length + cert_->notAfterTime.length) &&
             writer.WriteBytes(Span(cert_->notBeforeTime)) && writer.WriteBytes(Span(cert_->notAfterTime)) &&
             writer.WriteBytes({subject_.der, subject_.length}) && writer.WriteBytes(Span(fields.subjectPublicKeyInfo));
        if (ok && fields.issuerUniqueID.data != nullptr) {
            ok = writer.WriteDerHeader(kContext, 1, fields.issuerUniqueID.length) &&
                 writer.WriteBytes(Span(fields.issuerUniqueID));
        }
        if (ok && fields.subjectUniqueID.data != nullptr) {
            ok = writer.WriteDerHeader(kContext, 2, fields.subjectUniqueID.length) &&
                 writer.WriteBytes(Span(fields.subjectUniqueID));
        }
        if (ok && !extensions_.empty()) {
            ok = writer.WriteDerHeader(kContextConstructed, 3, u32(extensions_.size())) && writer.WriteBytes(extensions_);
        }
        return ok;
    }

private:
    const CertObject* cert_;
    const EncodedName& issuer_;
    const EncodedName& subject_;
    ByteSpan extensions_;
};

// Whether the decoded certificate encodes back to exactly `expected`.
Status ReencodesTo(CertObject* cert, ByteSpan expected) {
    EncodedName issuer;
    EncodedName subject;
    if (!issuer.Encode(cert->fields.issuer) || !subject.Encode(cert->fields.subject)) return kOutOfMemory;
    ByteSpan extensions;
    if (cert->fields.extensions->count != 0) {
        const uint8_t* der = nullptr;
        uint32_t length = 0;
        if (Status status = ExtensionListGetEncoding(cert->fields.extensions, &der, &length); status != kOk) {
            return status;
        }
        extensions = {der, length};
    }
    TbsEncoder encoder(cert, issuer, subject, extensions);
    size_t total = ElementSize(kTagSequence, encoder.ContentSize());
    if (total != expected.size()) return kNoEncodingToVerify;
    auto* buffer = static_cast<uint8_t*>(mem::AllocateBuffer(total));
    if (buffer == nullptr) return kOutOfMemory;
    ByteWriter writer({buffer, total});
    bool same = encoder.Write(writer) && std::memcmp(buffer, expected.data(), total) == 0;
    mem::FreeBuffer(buffer);
    return same ? kOk : kNoEncodingToVerify;
}

// Unless the context waives it, the public key must be one we can use.
Status CheckPublicKey(const CertObject* cert) {
    uint32_t flags = 0;
    if (ContextGetFlags(cert->context, &flags) == kOk && (flags & kContextFlagAnyPublicKey) != 0) return kOk;
    KeyObject* key = nullptr;
    if (KeyObjectCreate(&key) != kOk) return kOutOfMemory;
    const CertBytes& spki = cert->fields.subjectPublicKeyInfo;
    Status status = KeyObjectFromSpki(key, spki.data, spki.length);
    KeyObjectFree(&key);
    if (status == kOk || status == kUnsupportedPublicKeyAlgorithm) return status;
    return StatusTranslateKeepFatal(status, kSignatureMismatch);
}

Status CanonicalCheck(CertObject* cert, uint32_t mode) {
    CertObject* again = nullptr;
    Status status = CertCreate(&again, cert->context);
    if (status == kOk) status = CertSetEncoding(again, cert->encoding, cert->encodingLength);
    if (status == kOk && mode == kCertEncodingStrict) {
        status = NameCheckAttributes(again->fields.issuer);
        if (status == kOk) status = NameCheckAttributes(again->fields.subject);
        if (status == kOk && SignatureAlgorithmIsAlternative(again->fields.signatureAlgorithm)) {
            status = kMalformedEncoding;
        }
    }
    if (status == kOk) status = CheckPublicKey(again);
    if (status == kOk) status = ReencodesTo(again, {cert->pendingCheck, cert->pendingCheckLength});
    CertFree(&again);
    return status;
}

}  // namespace

Status CertGetEncoding(CertObject* cert, uint32_t mode, const uint8_t** certDER, uint32_t* certDERLength) {
    if (!IsCertificate(cert)) return StatusReport(nullptr, kInvalidCertificate, kSeverityError, __FILE__, __LINE__);
    if (certDER == nullptr) {
        return StatusReport(cert->context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "certDER");
    }
    if (certDERLength == nullptr) {
        return StatusReport(cert->context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, "certDERLen");
    }
    if (cert->encoding == nullptr) {
        return StatusReport(cert->context, kNoEncodingToVerify, kSeverityError, __FILE__, __LINE__);
    }
    if (cert->pendingCheck != nullptr) {
        if (Status status = CanonicalCheck(cert, mode); status != kOk) {
            return StatusReport(cert->context, status, kSeverityError, __FILE__, __LINE__);
        }
        mem::FreeBuffer(cert->pendingCheck);
        cert->pendingCheck = nullptr;
        cert->pendingCheckLength = 0;
    }
    *certDER = cert->encoding;
    *certDERLength = cert->encodingLength;
    return kOk;
}

}  // namespace korva::toolkit
