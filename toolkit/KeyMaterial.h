// What a filled key object holds: the core's RSA key and the key's
// SubjectPublicKeyInfo, stored right behind this record, with views of its
// parts for the other formats.
#pragma once

#include "toolkit/KeyObject.h"
#include "toolkit/crypto/Rsa.h"

namespace korva::toolkit {

struct KeyMaterial {
    crypto::RsaPublicKey rsa;
    KeyBytes spki;
    KeyBytes rsaPublicKey;
    RsaKeyNumbers numbers;
};

}  // namespace korva::toolkit
