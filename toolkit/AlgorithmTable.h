// The toolkit's algorithm table: algorithm OIDs mapped to small numbers,
// the first matching row winning where an OID occurs twice.
#pragma once

#include <cstdint>

#include "toolkit/Status.h"

namespace korva::toolkit {

inline constexpr uint32_t kAlgorithmNumberRsaEncryption = 29;
inline constexpr uint32_t kAlgorithmNumberDsaOiw = 37;
inline constexpr uint32_t kAlgorithmNumberDsa = 38;

// The number of an OID given by its content octets; 553 when no row has it.
Status AlgorithmTableFind(const uint8_t* oid, uint32_t oidLength, uint32_t* number);

// The number of the first OBJECT IDENTIFIER in `der`, descending into
// SEQUENCE and SET elements: 552 when there is none before the first other
// element, 553 when the table lacks it, 554 for a malformed length.
Status AlgorithmTableLookup(const uint8_t* der, uint32_t derLength, uint32_t* number);

}  // namespace korva::toolkit
