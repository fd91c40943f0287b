// What the engine knows of each digest algorithm: its id, lengths, the
// AlgorithmIdentifier encodings it is recognised by and the DigestInfo
// prefix an RSA signature carries it under.
#pragma once

#include <cstdint>

#include "catalog/CertDigest.h"
#include "platform/ByteReader.h"

namespace TarnVerifyTrustDriver {

class CCertDigest::CInfo {
public:
    using Bytes = korva::platform::ByteSpan;

    constexpr CInfo(uint32_t id, uint32_t method, uint32_t digestLength, Bytes withNull, Bytes withoutParameters,
                    Bytes digestInfoPrefix)
        : id_(id), method_(method), digestLength_(digestLength), withNull_(withNull),
          withoutParameters_(withoutParameters), digestInfoPrefix_(digestInfoPrefix) {}
    virtual ~CInfo() = default;

    // Traces a digest value byte by byte, at information level.
    virtual void TraceDigest(const uint8_t* digest, uint32_t length) const;

    uint32_t id() const { return id_; }  // 0: no algorithm
    uint32_t method() const { return method_; }  // the toolkit's digest method, 0 for none
    uint32_t digestLength() const { return digestLength_; }
    uint32_t digestInfoLength() const { return static_cast<uint32_t>(digestInfoPrefix_.size()) + digestLength_; }
    Bytes withNull() const { return withNull_; }
    Bytes withoutParameters() const { return withoutParameters_; }  // empty when the form is not recognised
    Bytes digestInfoPrefix() const { return digestInfoPrefix_; }

    // First match among the six known rows, else CUnknownInfo (traced).
    static const CInfo& ById(uint32_t id);
    static const CInfo& ByDigestLength(uint32_t length);
    static const CInfo& ByDigestInfoLength(uint32_t length);

private:
    uint32_t id_;
    uint32_t method_;
    uint32_t digestLength_;
    Bytes withNull_;
    Bytes withoutParameters_;
    Bytes digestInfoPrefix_;
};

class CSHA1Info : public CCertDigest::CInfo {
public:
    CSHA1Info();
};
class CMD5Info : public CCertDigest::CInfo {
public:
    CMD5Info();
};
class CSHA256Info : public CCertDigest::CInfo {
public:
    CSHA256Info();
};
class CSHA384Info : public CCertDigest::CInfo {
public:
    CSHA384Info();
};
class CSHA512Info : public CCertDigest::CInfo {
public:
    CSHA512Info();
};
// SHA-1 under the sha1WithRSAEncryption identifier.
class CSHA1RSAInfo : public CCertDigest::CInfo {
public:
    CSHA1RSAInfo();
};
class CUnknownInfo : public CCertDigest::CInfo {
public:
    CUnknownInfo();
};

// The seven descriptions; the first six are searched in this order.
extern const CSHA1Info kSha1Info;
extern const CMD5Info kMd5Info;
extern const CSHA256Info kSha256Info;
extern const CSHA384Info kSha384Info;
extern const CSHA512Info kSha512Info;
extern const CSHA1RSAInfo kSha1RsaInfo;
extern const CUnknownInfo kUnknownInfo;

}  // namespace TarnVerifyTrustDriver
