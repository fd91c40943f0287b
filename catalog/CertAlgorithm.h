// The base of the digest and RSA classes: one algorithm object of the
// toolkit's cryptographic core.
#pragma once

#include <cstdint>

#include "runtime/Allocator.h"
#include "toolkit/AlgorithmObject.h"

namespace TarnVerifyTrustDriver {

class CCertAlgorithm : public TAllocator<CCertAlgorithm> {
public:
    CCertAlgorithm() = default;
    virtual ~CCertAlgorithm();
    CCertAlgorithm(const CCertAlgorithm&) = delete;
    CCertAlgorithm& operator=(const CCertAlgorithm&) = delete;

    // Replaces any algorithm object with a new one: 1, 22 out of memory, 4.
    uint32_t Create();
    void Release();
    korva::toolkit::AlgorithmObject* algorithm() const { return algorithm_; }

protected:
    korva::toolkit::AlgorithmObject* algorithm_ = nullptr;
};

}  // namespace TarnVerifyTrustDriver
