// CertSetEncoding: the certificate's DER into its fields.
#include <cstring>

#include "platform/ByteReader.h"
#include "runtime/MemoryService.h"
#include "toolkit/DerElements.h"
#include "toolkit/Asn1Time.h"
#include "toolkit/Certificate.h"
#include "toolkit/Context.h"
#include "toolkit/SignatureAlgorithms.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

using platform::ByteReader;
using platform::ByteSpan;
using platform::DerElement;
using namespace der;

namespace {

constexpr uint8_t kVersionTag = 0xA0;
constexpr uint8_t kIssuerUniqueIdTag = 0x81;
constexpr uint8_t kSubjectUniqueIdTag = 0x82;
constexpr uint8_t kExtensionsTag = 0xA3;
constexpr uint16_t kVersion2 = 1;
constexpr uint16_t kVersion3 = 2;
constexpr uint8_t kEmptyName[] = {0x30, 0x00};

// The parts of a TBSCertificate as they lie in the encoding.
struct TbsParts {
    bool hasVersion = false;
    ByteSpan version;  // content of [0]
    ByteSpan serialNumber;
    ByteSpan signature;  // whole AlgorithmIdentifier
    ByteSpan issuer;     // whole Name
    DerElement notBefore;
    DerElement notAfter;
    ByteSpan subject;
    ByteSpan subjectPublicKeyInfo;
    bool hasIssuerUid = false;
    ByteSpan issuerUid;
    bool hasSubjectUid = false;
    ByteSpan subjectUid;
    bool hasExtensions = false;
    ByteSpan extensions;  // content of [3]: the Extensions SEQUENCE
};

CertBytes Bytes(ByteSpan span) {
    return CertBytes{span.data(), static_cast<uint32_t>(span.size())};
}

ByteSpan Span(const CertBytes& bytes) {
    return {bytes.data, bytes.length};
}

bool SameBytes(ByteSpan a, ByteSpan b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

bool Optional(ByteReader& reader, uint8_t identifier, bool& present, ByteSpan& content) {
    uint8_t next = 0;
    present = reader.PeekU8(next) && next == identifier;
    DerElement element;
    if (present && !ReadTagged(reader, identifier, element)) return false;
    if (present) content = element.content;
    return true;
}

bool NextTime(ByteReader& reader, DerElement& time) {
    return ReadTagged(reader, kUtcTime, time) || ReadTagged(reader, kGeneralizedTime, time);
}

// X.690: an INTEGER's first nine bits are never all zero or all one.
bool MinimalInteger(ByteSpan content) {
    ByteReader reader(content);
    uint8_t first = 0;
    uint8_t second = 0;
    if (!reader.ReadU8(first)) return false;
    if (!reader.ReadU8(second)) return true;
    return !((first == 0x00 && second < 0x80) || (first == 0xFF && second >= 0x80));
}

// A BIT STRING's content: the count of unused bits (0-7, and 0 when no
// octet follows), then the octets.
bool BitStringContent(ByteSpan content) {
    ByteReader reader(content);
    uint8_t unused = 0;
    return reader.ReadU8(unused) && unused <= 7 && (unused == 0 || !reader.AtEnd());
}

bool ParseTbs(ByteSpan tbs, TbsParts& parts) {
    ByteReader outer(tbs);
    DerElement element;
    if (!ReadTagged(outer, kSequence, element)) return false;
    ByteReader reader(element.content);
    if (!Optional(reader, kVersionTag, parts.hasVersion, parts.version)) return false;
    if (!ReadTagged(reader, kInteger, element) || !MinimalInteger(element.content)) return false;
    parts.serialNumber = element.content;
    if (!ReadTagged(reader, kSequence, element)) return false;
    parts.signature = element.whole;
    if (!ReadTagged(reader, kSequence, element)) return false;
    parts.issuer = element.whole;
    if (!ReadTagged(reader, kSequence, element)) return false;
    ByteReader validity(element.content);
    if (!NextTime(validity, parts.notBefore) || !NextTime(validity, parts.notAfter) || !validity.AtEnd()) return false;
    if (!ReadTagged(reader, kSequence, element)) return false;
    parts.subject = element.whole;
    if (!ReadTagged(reader, kSequence, element)) return false;
    parts.subjectPublicKeyInfo = element.whole;
    if (!Optional(reader, kIssuerUniqueIdTag, parts.hasIssuerUid, parts.issuerUid) ||
        !Optional(reader, kSubjectUniqueIdTag, parts.hasSubjectUid, parts.subjectUid) ||
        !Optional(reader, kExtensionsTag, parts.hasExtensions, parts.extensions)) {
        return false;
    }
    if ((parts.hasIssuerUid && !BitStringContent(parts.issuerUid)) ||
        (parts.hasSubjectUid && !BitStringContent(parts.subjectUid))) {
        return false;
    }
    return reader.AtEnd();
}

// version [0] EXPLICIT INTEGER: 0, 1 or 2, else 1833.
Status ParseVersion(const TbsParts& parts, uint16_t& version) {
    version = 0;
    if (!parts.hasVersion) return kOk;
    ByteReader reader(parts.version);
    DerElement integer;
    if (!ReadTagged(reader, kInteger, integer) || !reader.AtEnd() || integer.content.empty()) return kMalformedEncoding;
    ByteReader digits(integer.content);
    uint8_t octet = 0;
    uint32_t value = 0;
    while (digits.ReadU8(octet)) {
        if (value > 0xFF) return kVersionMismatch;
        value = (value << 8) | octet;
    }
    if (value > kVersion3) return kVersionMismatch;
    version = static_cast<uint16_t>(value);
    return kOk;
}

Status TimeOf(const DerElement& time, uint32_t& seconds) {
    return time.header.identifier == kUtcTime ? UtcTimeToSeconds(time.content, &seconds)
                                              : GeneralizedTimeToSeconds(time.content, &seconds);
}

Status ParseValidity(CertObject* cert, const TbsParts& parts) {
    uint32_t notBefore = 0;
    uint32_t notAfter = 0;
    if (TimeOf(parts.notBefore, notBefore) != kOk || TimeOf(parts.notAfter, notAfter) != kOk) {
        return kMalformedEncoding;
    }
    if (notAfter == 0 && parts.notAfter.header.identifier == kGeneralizedTime) {
        uint32_t flags = 0;
        if (ContextGetFlags(cert->context, &flags) == kOk && (flags & kContextFlagStrictExpiry) != 0) {
            return kDataMissing;
        }
        notAfter = kNotAfterUnbounded;
    }
    if (notBefore > notAfter) return kValidityReversed;
    cert->fields.notBefore = notBefore;
    cert->fields.notAfter = notAfter;
    cert->notBeforeTime = Bytes(parts.notBefore.whole);
    cert->notAfterTime = Bytes(parts.notAfter.whole);
    return kOk;
}

// The row of the AlgorithmIdentifier's OID in the signature-algorithm table.
Status ParseSignatureAlgorithm(ByteSpan algorithm, uint32_t& number) {
    ByteReader outer(algorithm);
    DerElement sequence;
    DerElement oid;
    if (!ReadTagged(outer, kSequence, sequence)) return kMalformedEncoding;
    ByteReader reader(sequence.content);
    if (!ReadTagged(reader, kOid, oid)) return kMalformedEncoding;
    const SignatureAlgorithm* row = SignatureAlgorithmFind(oid.content.data(), static_cast<uint32_t>(oid.content.size()));
    if (row == nullptr) return kSignatureAlgorithmUnknown;
    number = row->number;
    return kOk;
}

Status ParseName(NameObject* name, ByteSpan der, uint16_t version, Status failure) {
    if (SameBytes(der, kEmptyName) && version != kVersion3) return failure;
    Status status = NameSetEncoding(name, der.data(), static_cast<uint32_t>(der.size()));
    return status == kOk ? kOk : StatusKeepFatal(status, failure);
}

Status ParseExtensions(CertObject* cert, const TbsParts& parts) {
    if (!parts.hasExtensions) return kOk;
    Status status = ExtensionListDecode(cert->fields.extensions, parts.extensions.data(),
                                        static_cast<uint32_t>(parts.extensions.size()));
    switch (status) {
    case kOk:
    case kOutOfMemory:
    case kCorePassedThrough:
    case kStrictCriticality:
    case kUnknownCriticalExtension:
    case kCriticalityMismatch:
        return status;
    default:
        return kExtensionsUnparsable;
    }
}

Status DecodeTbs(CertObject* cert) {
    TbsParts parts;
    if (!ParseTbs(Span(cert->tbsCertificate), parts)) return kMalformedEncoding;
    CertFields& fields = cert->fields;
    if (Status status = ParseVersion(parts, fields.version); status != kOk) return status;
    fields.serialNumber = Bytes(parts.serialNumber);
    if (Status status = ParseValidity(cert, parts); status != kOk) return status;
    if (!SameBytes(parts.signature, Span(cert->signatureAlgorithm))) return kMalformedEncoding;
    if (Status status = ParseSignatureAlgorithm(parts.signature, fields.signatureAlgorithm); status != kOk) {
        return status;
    }
    if (Status status = ParseName(fields.issuer, parts.issuer, fields.version, kIssuerNameUnparsable); status != kOk) {
        return status;
    }
    if (Status status = ParseName(fields.subject, parts.subject, fields.version, kSubjectNameUnparsable);
        status != kOk) {
        return status;
    }
    if ((parts.hasIssuerUid || parts.hasSubjectUid) && fields.version < kVersion2) return kVersionMismatch;
    if (parts.hasExtensions && fields.version != kVersion3) return kVersionMismatch;
    fields.subjectPublicKeyInfo = Bytes(parts.subjectPublicKeyInfo);
    fields.issuerUniqueID = Bytes(parts.issuerUid);
    fields.subjectUniqueID = Bytes(parts.subjectUid);
    return ParseExtensions(cert, parts);
}

// Certificate ::= SEQUENCE { tbsCertificate, signatureAlgorithm, signature BIT STRING }
bool SplitSignedBlock(CertObject* cert) {
    ByteReader outer(cert->encoding, cert->encodingLength);
    DerElement certificate;
    DerElement tbs;
    DerElement algorithm;
    DerElement signature;
    if (!ReadTagged(outer, kSequence, certificate)) return false;
    ByteReader reader(certificate.content);
    if (!ReadTagged(reader, kSequence, tbs) || !ReadTagged(reader, kSequence, algorithm) || !ReadTagged(reader, kBitString, signature) ||
        !reader.AtEnd() || !BitStringContent(signature.content)) {
        return false;
    }
    cert->tbsCertificate = Bytes(tbs.whole);
    cert->signatureAlgorithm = Bytes(algorithm.whole);
    cert->signature = Bytes(signature.content);
    return true;
}

// Forgets the previous encoding; the names and extension list stay, emptied
// as the new encoding is decoded into them.
void DropEncoding(CertObject* cert) {
    mem::FreeBuffer(cert->encoding);
    mem::FreeBuffer(cert->pendingCheck);
    NameObject* issuer = cert->fields.issuer;
    NameObject* subject = cert->fields.subject;
    ExtensionList* extensions = cert->fields.extensions;
    cert->encoding = nullptr;
    cert->encodingLength = 0;
    cert->tbsCertificate = cert->signatureAlgorithm = cert->signature = CertBytes{};
    cert->notBeforeTime = cert->notAfterTime = CertBytes{};
    cert->pendingCheck = nullptr;
    cert->pendingCheckLength = 0;
    cert->fields = CertFields{};
    cert->fields.issuer = issuer;
    cert->fields.subject = subject;
    cert->fields.extensions = extensions;
    ExtensionListClear(extensions);
}

// The input may be the certificate's own encoding: it is copied before the
// old encoding goes.
Status Decode(CertObject* cert, const uint8_t* der, uint32_t derLength) {
    ByteReader input(der, derLength);
    DerElement certificate;
    if (!ReadTagged(input, kSequence, certificate)) return kMalformedEncoding;
    auto length = static_cast<uint32_t>(certificate.whole.size());
    auto* copy = static_cast<uint8_t*>(mem::AllocateBuffer(length));
    if (copy == nullptr) return kOutOfMemory;
    std::memcpy(copy, certificate.whole.data(), length);
    DropEncoding(cert);
    cert->encoding = copy;
    cert->encodingLength = length;
    if (!SplitSignedBlock(cert)) return kMalformedEncoding;
    cert->pendingCheck = static_cast<uint8_t*>(mem::AllocateBuffer(cert->tbsCertificate.length));
    if (cert->pendingCheck == nullptr) return kOutOfMemory;
    std::memcpy(cert->pendingCheck, cert->tbsCertificate.data, cert->tbsCertificate.length);
    cert->pendingCheckLength = cert->tbsCertificate.length;
    return DecodeTbs(cert);
}

}  // namespace

Status CertSetEncoding(CertObject* cert, const uint8_t* der, uint32_t derLength) {
    if (!IsCertificate(cert)) return StatusReport(nullptr, kInvalidCertificate, kSeverityError, __FILE__, __LINE__);
    if (der == nullptr || derLength == 0) {
        DropEncoding(cert);
        return StatusReport(cert->context, kInputMissing, kSeverityError, __FILE__, __LINE__);
    }
    Status status = Decode(cert, der, derLength);
    if (status != kOk) {
        DropEncoding(cert);
        return StatusReport(cert->context, status, kSeverityError, __FILE__, __LINE__);
    }
    return kOk;
}

}  // namespace korva::toolkit
