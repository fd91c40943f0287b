// CertVerifySignature: the tbsCertificate's digest against the RSA
// signature, through the cryptographic core's algorithm objects.
#include <cstring>

#include "platform/ByteReader.h"
#include "toolkit/AlgorithmObject.h"
#include "toolkit/Certificate.h"
#include "toolkit/Context.h"
#include "toolkit/SignatureAlgorithms.h"
#include "toolkit/StatusReport.h"
#include "toolkit/crypto/Rsa.h"

namespace korva::toolkit {

using platform::ByteReader;
using platform::ByteSpan;

namespace {

constexpr uint32_t kMaxDigestLength = 64;

// The DigestInfo DER in front of each digest (PKCS #1 v1.5, NULL parameters).
struct DigestInfoPrefix {
    uint32_t digest;
    uint8_t length;
    uint8_t octets[19];
};

constexpr DigestInfoPrefix kPrefixes[] = {
    {kAlgorithmMd2, 18, {0x30, 0x20, 0x30, 0x0C, 0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x02, 0x05, 0x00, 0x04, 0x10}},
    {kAlgorithmMd5, 18, {0x30, 0x20, 0x30, 0x0C, 0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10}},
    {kAlgorithmSha1, 15, {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14}},
    {kAlgorithmSha256, 19, {0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20}},
    {kAlgorithmSha384, 19, {0x30, 0x41, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02, 0x05, 0x00, 0x04, 0x30}},
    {kAlgorithmSha512, 19, {0x30, 0x51, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03, 0x05, 0x00, 0x04, 0x40}},
};

const DigestInfoPrefix* PrefixFor(uint32_t digest) {
    for (const DigestInfoPrefix& prefix : kPrefixes) {
        if (prefix.digest == digest) return &prefix;
    }
    return nullptr;
}

// Core results: a bad block or an unusable key is a mismatch.
Status FromCore(Status status) {
    if (status == kOk) return kOk;
    if ((status >= kCoreBadSignatureBlock && status <= kCoreInfoTypeNotApplicable) || status == kCoreVerifyFailed) {
        return kSignatureMismatch;
    }
    return status == kCoreOutOfMemory ? kOutOfMemory : kSignatureAlgorithmUnsupported;
}

// Owns one algorithm object for the length of a verification.
struct Algorithm {
    AlgorithmObject* object = nullptr;
    ~Algorithm() { AlgorithmFree(&object); }
    Status Create(uint32_t type) {
        Status status = AlgorithmCreate(&object);
        return status != kOk ? status : AlgorithmSetInfo(object, type, nullptr);
    }
};

Status Digest(uint32_t type, ByteSpan data, const AlgorithmSet* set, const CoreCallbacks* callbacks, uint8_t* out,
              uint32_t& length) {
    Algorithm digest;
    Status status = digest.Create(type);
    if (status == kOk) status = DigestInit(digest.object, nullptr, set, callbacks);
    if (status == kOk) {
        status = DigestUpdate(digest.object, data.data(), static_cast<uint32_t>(data.size()), callbacks);
    }
    if (status == kOk) status = DigestFinal(digest.object, out, &length, kMaxDigestLength, callbacks);
    return status;
}

// The octets the RSA public operation recovers from the signature.
Status Recover(const KeyObject* key, ByteSpan signature, const AlgorithmSet* set, const CoreCallbacks* callbacks,
               uint8_t (&out)[crypto::kMaxModulusLength], uint32_t& length) {
    Algorithm rsa;
    uint32_t tail = 0;
    Status status = rsa.Create(kAlgorithmRsaPublicPkcs1);
    if (status == kOk) status = KeyOpInit(rsa.object, key, set, callbacks);
    if (status == kOk) {
        status = KeyOpUpdate(rsa.object, out, &length, sizeof out, signature.data(),
                             static_cast<uint32_t>(signature.size()), nullptr, callbacks);
    }
    if (status == kOk) {
        status = KeyOpFinal(rsa.object, out + length, &tail, static_cast<uint32_t>(sizeof out - length), nullptr,
                            callbacks);
    }
    length += tail;
    return status;
}

bool Matches(const DigestInfoPrefix& prefix, const uint8_t* digest, uint32_t digestLength, const uint8_t* recovered,
             uint32_t recoveredLength) {
    ByteReader reader(recovered, recoveredLength);
    return reader.SkipPrefix({prefix.octets, prefix.length}) && reader.SkipPrefix({digest, digestLength}) &&
           reader.AtEnd();
}

Status Verify(const CertObject* cert, const KeyObject* key, const AlgorithmSet* set, const CoreCallbacks* callbacks) {
    if (cert->encoding == nullptr) return kNoEncodingToVerify;
    ByteReader signature(cert->signature.data, cert->signature.length);
    uint8_t unusedBits = 0;
    if (!signature.ReadU8(unusedBits) || unusedBits != 0) return kSignatureAlgorithmUnsupported;
    const SignatureAlgorithm* row = SignatureAlgorithmByNumber(cert->fields.signatureAlgorithm);
    const DigestInfoPrefix* prefix = row != nullptr ? PrefixFor(row->digest) : nullptr;
    if (row == nullptr || row->keyKind != SignatureKeyKind::Rsa || prefix == nullptr) {
        return kSignatureAlgorithmUnsupported;
    }
    uint8_t digest[kMaxDigestLength];
    uint32_t digestLength = 0;
    if (Status status = Digest(row->digest, {cert->tbsCertificate.data, cert->tbsCertificate.length}, set, callbacks,
                               digest, digestLength);
        status != kOk) {
        return FromCore(status);
    }
    uint8_t recovered[crypto::kMaxModulusLength];
    uint32_t recoveredLength = 0;
    if (Status status = Recover(key, signature.Rest(), set, callbacks, recovered, recoveredLength); status != kOk) {
        return FromCore(status);
    }
    return Matches(*prefix, digest, digestLength, recovered, recoveredLength) ? kOk : kSignatureMismatch;
}

// Verification outcomes as callers see them: a plain mismatch apart from
// every other failure.
Status Outcome(Status status) {
    switch (status) {
    case kOk:
    case kSignatureMismatch:
    case kOutOfMemory:
    case kCorePassedThrough:
        return status;
    case kNoEncodingToVerify:
        return kInvalidCertificate;
    default:
        return kSignatureUncheckable;
    }
}

// The callbacks and algorithms of the certificate's context once any
// context exists, the core's own before.
Status VerifyInContext(const CertObject* cert, const KeyObject* key) {
    if (!ContextModeEnabled()) return Verify(cert, key, &kCoreAlgorithms, nullptr);
    if (cert->context == nullptr) return kNoContextFlags;
    const ToolkitContext* context = cert->context;
    CoreCallbacks callbacks{context->callbackFunction, context->callbackHandle};
    return Verify(cert, key, context->algorithmSet != nullptr ? context->algorithmSet : &kCoreAlgorithms, &callbacks);
}

}  // namespace

Status CertVerifySignature(CertObject* cert, const KeyObject* key) {
    if (!IsCertificate(cert)) return StatusReport(nullptr, kInvalidCertificate, kSeverityError, __FILE__, __LINE__);
    if (key == nullptr) return StatusReport(cert->context, kSignatureMismatch, kSeverityError, __FILE__, __LINE__);
    uint32_t unrecognised = 0;
    if (ExtensionListHasUnrecognisedCritical(cert->fields.extensions, &unrecognised) != kOk) {
        return StatusReport(cert->context, kInvalidCertificate, kSeverityError, __FILE__, __LINE__);
    }
    if (unrecognised != 0) {
        return StatusReport(cert->context, kUnknownCriticalExtension, kSeverityError, __FILE__, __LINE__);
    }
    return StatusReport(cert->context, Outcome(VerifyInContext(cert, key)), kSeverityError, __FILE__, __LINE__);
}

Status SignedDataVerify(ToolkitContext* context, CertBytes tbs, CertBytes signature, uint32_t signatureAlgorithm,
                        const KeyObject* key) {
    if (tbs.data == nullptr || key == nullptr) {
        return StatusReport(context, kSignatureMismatch, kSeverityError, __FILE__, __LINE__);
    }
    // Verification reads only the signed parts of a certificate.
    CertObject shape{};
    shape.context = context;
    shape.encoding = const_cast<uint8_t*>(tbs.data);
    shape.tbsCertificate = tbs;
    shape.signature = signature;
    shape.fields.signatureAlgorithm = signatureAlgorithm;
    return StatusReport(context, Outcome(VerifyInContext(&shape, key)), kSeverityError, __FILE__, __LINE__);
}

}  // namespace korva::toolkit
