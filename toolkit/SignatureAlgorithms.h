// The signature-algorithm table: 22 rows numbered from 1, one algorithm
// possibly under several OIDs. Rows 1-14 hold each algorithm's usual OID,
// rows 15-22 alternative OIDs of algorithms of rows 1-14. Verification
// needs the RSA rows whose digest the core offers; the others are known so
// that decoding names them.
#pragma once

#include <cstdint>

#include "toolkit/Status.h"

namespace korva::toolkit {

inline constexpr uint32_t kSignatureAlgorithmCount = 22;
inline constexpr uint32_t kFirstAlternativeSignatureOid = 15;

// The public-key operation of a signature algorithm.
enum class SignatureKeyKind : uint8_t { Rsa, Dsa, Ecdsa, RsaPss };

struct SignatureAlgorithm {
    uint32_t number;     // 1-22
    uint32_t canonical;  // the row of the algorithm's usual OID (itself for rows 1-14)
    SignatureKeyKind keyKind;
    uint32_t digest;     // the core's digest information type, 0 when the core lacks it
    uint8_t oidLength;
    uint8_t oid[9];
};

// The row of an OID (content octets), or null.
const SignatureAlgorithm* SignatureAlgorithmFind(const uint8_t* oid, uint32_t oidLength);
// Row `number` (1-22), or null.
const SignatureAlgorithm* SignatureAlgorithmByNumber(uint32_t number);
bool SignatureAlgorithmIsAlternative(uint32_t number);

}  // namespace korva::toolkit
