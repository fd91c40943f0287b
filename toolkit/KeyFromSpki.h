// Filling an empty key object from a certificate's subjectPublicKeyInfo.
#pragma once

#include <cstdint>

#include "toolkit/KeyObject.h"

namespace korva::toolkit {

// rsaEncryption fills the RSA SubjectPublicKeyInfo format, the two DSA OIDs
// the DSA formats; 1819 for any other algorithm, the algorithm table's 552,
// 553 or 554 when the OID cannot be found, the key's own code otherwise.
Status KeyObjectFromSpki(KeyObject* key, const uint8_t* spki, uint32_t spkiLength);

}  // namespace korva::toolkit
