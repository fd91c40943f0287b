#include "tools/catgen/Timestamp.h"

#include "tools/catgen/Oids.h"
#include "tools/catgen/SignerInfo.h"

namespace korva::catgen {

namespace {

constexpr std::string_view kCountersignature = "1.2.840.113549.1.9.6";
constexpr std::string_view kTstInfo = "1.2.840.113549.1.9.16.1.4";
constexpr std::string_view kSigningCertificate = "1.2.840.113549.1.9.16.2.12";
constexpr std::string_view kTimestampToken = "1.3.6.1.4.1.311.3.3.1";
constexpr std::string_view kTestPolicy = "1.3.6.1.4.1.57264.1.1";
constexpr int64_t kDefaultTokenTime = 1600000000;  // 2020-09-13

Bytes Flipped(Bytes bytes) {
    bytes[bytes.size() / 2] ^= 0x01;
    return bytes;
}

Bytes MessageDigest(const TimestampOptions& options, const Bytes& covered) {
    bool damaged = options.malformation == Malformation::kBadCountersignatureDigest;
    return Attribute(oid::kMessageDigest, OctetString(Hash(options.digest, damaged ? Flipped(covered) : covered)));
}

SignerInfoInput Countersigner(const TimestampOptions& options) {
    SignerInfoInput input;
    input.signer = &options.chain->leaf;
    input.digest = options.digest;
    input.flipSignature = options.malformation == Malformation::kBadCountersignature;
    return input;
}

Bytes Pkcs9(const TimestampOptions& options, const Bytes& encryptedDigest) {
    SignerInfoInput input = Countersigner(options);
    input.authenticatedAttributes = {Attribute(oid::kContentType, Oid(oid::kData)), MessageDigest(options, encryptedDigest)};
    if (options.time) {
        Bytes time = UtcTime(*options.time);
        if (options.zoneless) time.back() = '0';
        input.authenticatedAttributes.push_back(Attribute(oid::kSigningTime, time));
    }
    return Attribute(kCountersignature, AssembleSignerInfo(input, SignatureOf(input), {}));
}

Bytes TstInfo(const TimestampOptions& options, const Bytes& encryptedDigest) {
    bool damaged = options.malformation == Malformation::kBadTimestampImprint;
    Bytes imprint = Hash(options.digest, damaged ? Flipped(encryptedDigest) : encryptedDigest);
    int64_t time = options.time.value_or(kDefaultTokenTime);
    return Sequence({Integer(1), Oid(kTestPolicy), Sequence({AlgorithmIdentifier(DigestOid(options.digest)), OctetString(imprint)}),
                     Integer(time), GeneralizedTime(time), Sequence({Integer(1)})});
}

Bytes Rfc3161(const TimestampOptions& options, const Bytes& encryptedDigest) {
    Bytes tstInfo = TstInfo(options, encryptedDigest);
    Bytes certHash = Hash(Digest::kSha1, CertificateDer(options.chain->leaf.cert));
    SignerInfoInput input = Countersigner(options);
    input.authenticatedAttributes = {Attribute(oid::kContentType, Oid(kTstInfo)), MessageDigest(options, tstInfo),
                                     Attribute(kSigningCertificate, Sequence({Sequence({Sequence({OctetString(certHash)})})}))};
    Bytes certificates;
    for (const Certificate& cert : options.chain->Embedded()) certificates = Concat({certificates, CertificateDer(cert)});
    Bytes signedData = Concat({Integer(3), Set({AlgorithmIdentifier(DigestOid(options.digest))}),
                               Sequence({Oid(kTstInfo), ContextConstructed(0, OctetString(tstInfo))})});
    if (options.malformation != Malformation::kTimestampWithoutCertificates) {
        signedData = Concat({signedData, ContextConstructed(0, certificates)});
    }
    signedData = Concat({signedData, Set({AssembleSignerInfo(input, SignatureOf(input), {})})});
    Bytes token = Sequence({Oid(oid::kSignedData), ContextConstructed(0, Tlv(kConstructed, 16, signedData))});
    return Attribute(kTimestampToken, token);
}

}  // namespace

Timestamp TimestampFor(Malformation malformation, Timestamp requested) {
    if (malformation == Malformation::kBadTimestampImprint || malformation == Malformation::kTimestampWithoutCertificates) {
        return Timestamp::kRfc3161;
    }
    if (NeedsTimestamp(malformation) && requested == Timestamp::kNone) return Timestamp::kPkcs9;
    return requested;
}

Bytes CountersignatureAttribute(const TimestampOptions& options, const Bytes& encryptedDigest) {
    switch (options.kind) {
        case Timestamp::kPkcs9: return Pkcs9(options, encryptedDigest);
        case Timestamp::kRfc3161: return Rfc3161(options, encryptedDigest);
        case Timestamp::kNone: break;
    }
    return {};
}

}  // namespace korva::catgen
