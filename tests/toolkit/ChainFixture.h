// The path fixture with certificates made from specs by libcrypto.
#pragma once

#include "tests/toolkit/PathFixture.h"
#include "tests/toolkit/TestChains.h"

namespace korva::toolkit::testing {

class ChainFixture : public PathFixture {
protected:
    CertObject* Stored(const CertSpec& spec) { return Insert(MakeCert(spec)); }
    CertObject* Trusted(const CertSpec& spec) { return Trust(MakeCert(spec)); }
};

}  // namespace korva::toolkit::testing
