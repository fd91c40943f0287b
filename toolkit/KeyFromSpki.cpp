#include "toolkit/KeyFromSpki.h"

#include "toolkit/AlgorithmTable.h"

namespace korva::toolkit {

Status KeyObjectFromSpki(KeyObject* key, const uint8_t* spki, uint32_t spkiLength) {
    uint32_t number = 0;
    if (Status status = AlgorithmTableLookup(spki, spkiLength, &number); status != kOk) return status;
    uint32_t format = kKeyFormatNone;
    switch (number) {
    case kAlgorithmNumberRsaEncryption:
        format = kKeyFormatRsaSpki;
        break;
    case kAlgorithmNumberDsaOiw:
        format = kKeyFormatDsaOiw;
        break;
    case kAlgorithmNumberDsa:
        format = kKeyFormatDsa;
        break;
    default:
        return kUnsupportedPublicKeyAlgorithm;
    }
    KeyBytes info{spki, spkiLength};
    return KeyObjectSetInfo(key, format, &info);
}

}  // namespace korva::toolkit
