// Any bytes as an RSA SubjectPublicKeyInfo or RSAPublicKey: the parsers must
// return a result and never read outside the input, and a key they accept
// must encode into exactly the size measured and parse back to the same
// numbers.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "toolkit/RsaKeyDer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korva::toolkit;
    DerBytes input(data, size);
    DerBytes rsaPublicKey;
    if (ParseRsaSpki(input, rsaPublicKey) != DerResult::Ok) rsaPublicKey = input;
    DerBytes modulus;
    DerBytes exponent;
    if (ParseRsaPublicKey(rsaPublicKey, modulus, exponent) != DerResult::Ok) return 0;
    std::vector<uint8_t> encoded(EncodeRsaSpki(modulus, exponent, {}));
    if (EncodeRsaSpki(modulus, exponent, encoded) != encoded.size()) std::abort();
    if (encoded.size() > 1 && EncodeRsaSpki(modulus, exponent, std::span(encoded).first(encoded.size() - 1)) != 0) std::abort();
    DerBytes again;
    DerBytes modulusAgain;
    DerBytes exponentAgain;
    if (ParseRsaSpki(encoded, again) != DerResult::Ok || ParseRsaPublicKey(again, modulusAgain, exponentAgain) != DerResult::Ok ||
        !std::ranges::equal(modulus, modulusAgain) || !std::ranges::equal(exponent, exponentAgain)) {
        std::abort();
    }
    return 0;
}
