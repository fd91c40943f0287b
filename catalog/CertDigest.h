// An incremental digest over the toolkit's digest methods, selected by the
// algorithm ids the catalog callback stores (1 SHA-1, 2 MD5, 3 SHA-256,
// 4 SHA-384, 5 SHA-512).
#pragma once

#include <cstdint>

#include "catalog/CertAlgorithm.h"
#include "runtime/Memory.h"

namespace TarnVerifyTrustDriver {

class CCertDigest : public CCertAlgorithm {
public:
    class CInfo;

    ~CCertDigest() override = default;

    // Starts a digest of algorithm `id`: 1; 5 for an id without a method;
    // 22 out of memory; 4 when the toolkit fails. A failed Init leaves the
    // object empty, so that Update and Final fail rather than use old state.
    virtual uint32_t Init(uint32_t id);
    virtual uint32_t Update(const uint8_t* data, uint32_t length);
    // Writes the digest into output(), whose size is the digest length.
    virtual uint32_t Final();

    const CMemory& output() const { return output_; }

private:
    CMemory output_;
};

}  // namespace TarnVerifyTrustDriver
