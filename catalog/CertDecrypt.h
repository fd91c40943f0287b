// Opens an RSA signature with the toolkit's public-key operation and finds
// the digest the signer put in it.
#pragma once

#include <cstdint>

#include "catalog/CertAlgorithm.h"
#include "runtime/Memory.h"

namespace TarnVerifyTrustDriver {

class CCertKey;

class CCertDecrypt : public CCertAlgorithm {
public:
    ~CCertDecrypt() override = default;

    // Starts the operation with `key`; the mode is kept for callers and has
    // no effect. 1; 22 out of memory; 4 when the toolkit fails.
    uint32_t Init(uint32_t mode, const CCertKey& key);
    // Runs the operation over the input and collects what it yields.
    uint32_t Update(const uint8_t* data, uint32_t length);
    uint32_t Final();

    // The digest of a DigestInfo of one of the six known rows that makes up
    // the whole output: 1, 3 when there is none, 22 out of memory.
    uint32_t GetDigestStrict(CMemory& digest) const;
    // As the strict form, and also a bare digest of a known length.
    uint32_t GetDigestLenient(CMemory& digest) const;

    const CMemory& output() const { return output_; }

private:
    uint32_t Append(const CMemory& scratch, uint32_t length, uint32_t traceNumber);

    CMemory output_;
};

}  // namespace TarnVerifyTrustDriver
