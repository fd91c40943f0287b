// The path fixture with certificates made from specs by libcrypto.
#pragma once

#include "tests/toolkit/PathFixture.h"
#include "tools/catgen/CertBuilder.h"

namespace korva::toolkit::testing {

using Der = catgen::Bytes;
using catgen::CertSpec;
using catgen::MakeCert;
using catgen::MakeCrl;
using catgen::TestKey;

class ChainFixture : public PathFixture {
protected:
    CertObject* Stored(const CertSpec& spec) { return Insert(MakeCert(spec)); }
    CertObject* Trusted(const CertSpec& spec) { return Trust(MakeCert(spec)); }
};

}  // namespace korva::toolkit::testing
