#include "toolkit/Crl.h"

#include <cstring>

#include "runtime/MemoryService.h"
#include "toolkit/Asn1Time.h"
#include "toolkit/DerElements.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/SignatureAlgorithms.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

using platform::ByteReader;
using platform::ByteSpan;
using platform::DerElement;
using der::ReadTagged;

namespace {

// crlExtensions, [0] EXPLICIT.
constexpr uint8_t kExtensionsTag = der::kContextConstructed;

void DropEncoding(CrlObject* crl) {
    mem::FreeBuffer(crl->encoding);
    crl->encoding = nullptr;
    crl->encodingLength = 0;
    crl->tbsCertList = crl->signatureAlgorithm = crl->signature = CertBytes{};
    crl->thisUpdate = 0;
}

void DestroyCrl(ObjectHeader* object) {
    auto* crl = static_cast<CrlObject*>(object);
    DropEncoding(crl);
    NameFree(&crl->issuer);
    ExtensionListFree(&crl->extensions);
}

constexpr ObjectMethods kCrlMethods{DestroyCrl};

CertBytes View(ByteSpan bytes) {
    return CertBytes{bytes.data(), static_cast<uint32_t>(bytes.size())};
}

Status ReadTime(ByteReader& reader, uint32_t* seconds) {
    DerElement time;
    if (ReadTagged(reader, der::kUtcTime, time)) return UtcTimeToSeconds(time.content, seconds);
    if (ReadTagged(reader, der::kGeneralizedTime, time)) return GeneralizedTimeToSeconds(time.content, seconds);
    return kMalformedEncoding;
}

// TBSCertList: version, signature, issuer, thisUpdate, then the optional
// nextUpdate, revokedCertificates and [0] crlExtensions.
Status DecodeTbs(CrlObject* crl, ByteSpan tbs) {
    ByteReader reader(tbs);
    DerElement element;
    ReadTagged(reader, der::kInteger, element);
    if (!ReadTagged(reader, der::kSequence, element)) return kMalformedEncoding;
    if (!ReadTagged(reader, der::kSequence, element)) return kMalformedEncoding;
    Status status = NameSetEncoding(crl->issuer, element.whole.data(), static_cast<uint32_t>(element.whole.size()));
    if (status != kOk) return status;
    if (Status timeStatus = ReadTime(reader, &crl->thisUpdate); timeStatus != kOk) return timeStatus;
    uint32_t nextUpdate = 0;
    uint8_t next = 0;
    if (reader.PeekU8(next) && (next == der::kUtcTime || next == der::kGeneralizedTime)) {
        if (Status timeStatus = ReadTime(reader, &nextUpdate); timeStatus != kOk) return timeStatus;
    }
    ReadTagged(reader, der::kSequence, element);
    if (ReadTagged(reader, kExtensionsTag, element)) {
        status = ExtensionListDecode(crl->extensions, element.content.data(),
                                     static_cast<uint32_t>(element.content.size()));
        if (status != kOk) return status;
    }
    return reader.AtEnd() ? kOk : kMalformedEncoding;
}

Status Decode(CrlObject* crl) {
    ByteReader outer(ByteSpan(crl->encoding, crl->encodingLength));
    DerElement list;
    DerElement tbs;
    DerElement algorithm;
    DerElement signature;
    if (!ReadTagged(outer, der::kSequence, list)) return kMalformedEncoding;
    ByteReader reader(list.content);
    if (!ReadTagged(reader, der::kSequence, tbs) || !ReadTagged(reader, der::kSequence, algorithm) ||
        !ReadTagged(reader, der::kBitString, signature) || !reader.AtEnd()) {
        return kMalformedEncoding;
    }
    crl->tbsCertList = View(tbs.whole);
    crl->signatureAlgorithm = View(algorithm.whole);
    crl->signature = View(signature.content);
    return DecodeTbs(crl, tbs.content);
}

}  // namespace

bool IsCrl(const void* handle) {
    return HasBodyTag(handle, kTagCrl);
}

Status CrlCreate(ToolkitContext* context, CrlObject** outCrl) {
    if (outCrl == nullptr) return kInvalidArgument;
    auto* crl = static_cast<CrlObject*>(ObjectNewWithBodyTag(sizeof(CrlObject), kTagCrl, &kCrlMethods));
    *outCrl = nullptr;
    if (crl == nullptr) return kOutOfMemory;
    crl->context = context;
    Status status = NameCreate(context, &crl->issuer);
    if (status == kOk) status = ExtensionListCreate(context, kExtensionInCrl, &crl->extensions);
    if (status != kOk) {
        ObjectRelease(&crl);
        return status;
    }
    *outCrl = crl;
    return kOk;
}

void CrlFree(CrlObject** crl) {
    if (crl != nullptr && IsCrl(*crl)) ObjectRelease(crl);
}

Status CrlSetEncoding(CrlObject* crl, const uint8_t* der, uint32_t derLength) {
    if (!IsCrl(crl)) return kWrongObjectKind;
    if (der == nullptr || derLength == 0) return kInputMissing;
    DropEncoding(crl);
    ExtensionListClear(crl->extensions);
    ByteReader reader(der, derLength);
    DerElement whole;
    if (!ReadTagged(reader, der::kSequence, whole)) return kMalformedEncoding;
    crl->encoding = static_cast<uint8_t*>(mem::AllocateBuffer(whole.whole.size()));
    if (crl->encoding == nullptr) return kOutOfMemory;
    std::memcpy(crl->encoding, whole.whole.data(), whole.whole.size());
    crl->encodingLength = static_cast<uint32_t>(whole.whole.size());
    Status status = Decode(crl);
    if (status != kOk) {
        DropEncoding(crl);
        ExtensionListClear(crl->extensions);
    }
    return status;
}

Status CrlVerifySignature(CrlObject* crl, const KeyObject* key) {
    if (!IsCrl(crl) || crl->encoding == nullptr) return kSignatureUncheckable;
    ByteReader reader(crl->signatureAlgorithm.data, crl->signatureAlgorithm.length);
    ByteSpan algorithm;
    ByteSpan oid;
    const SignatureAlgorithm* row = nullptr;
    if (reader.ReadDerTagged(der::kSequence, algorithm)) {
        ByteReader inner(algorithm);
        if (inner.ReadDerTagged(der::kOid, oid)) {
            row = SignatureAlgorithmFind(oid.data(), static_cast<uint32_t>(oid.size()));
        }
    }
    if (row == nullptr) return kSignatureUncheckable;
    return SignedDataVerify(crl->context, crl->tbsCertList, crl->signature, row->number, key);
}

bool CrlEqual(const CrlObject* candidate, const CrlObject* stored) {
    if (NameCompare(candidate->issuer, stored->issuer) != 0 || candidate->thisUpdate != stored->thisUpdate) {
        return false;
    }
    uint32_t count = 0;
    ExtensionListCount(candidate->extensions, &count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* oid = nullptr;
        uint32_t oidLength = 0;
        uint32_t index = 0;
        const void* wanted = nullptr;
        const void* have = nullptr;
        if (ExtensionListGetOid(candidate->extensions, i, &oid, &oidLength) != kOk ||
            ExtensionListFind(stored->extensions, oid, oidLength, &index) != kOk ||
            ExtensionListGetValue(candidate->extensions, i, 0, &wanted) != kOk ||
            ExtensionListGetValue(stored->extensions, index, 0, &have) != kOk) {
            return false;
        }
        const auto& a = static_cast<const ExtensionValueHead*>(wanted)->der;
        const auto& b = static_cast<const ExtensionValueHead*>(have)->der;
        if (a.length != b.length || (a.length != 0 && std::memcmp(a.data, b.data, a.length) != 0)) return false;
    }
    return true;
}

}  // namespace korva::toolkit
