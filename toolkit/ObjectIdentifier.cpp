#include "toolkit/ObjectIdentifier.h"

namespace korva::toolkit {

bool OidWellFormed(platform::ByteSpan content) {
    platform::ByteReader reader(content);
    uint8_t octet = 0;
    bool subidentifierStart = true;
    if (content.empty()) return false;
    while (reader.ReadU8(octet)) {
        if (subidentifierStart && octet == 0x80) return false;
        subidentifierStart = (octet & 0x80) == 0;
    }
    return subidentifierStart;
}

}  // namespace korva::toolkit
