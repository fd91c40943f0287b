// Hand-made certificates and names for tests, on the generator's DER writer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "tools/catgen/Der.h"

namespace korva::toolkit::testing {

using Der = std::vector<uint8_t>;

using catgen::AlgorithmIdentifier;
using catgen::Concat;
using catgen::Sequence;

inline Der Tlv(uint8_t identifier, const Der& content) {
    return catgen::Tlv(identifier & 0xE0, identifier & 0x1F, content);
}

inline Der Text(const std::string& text) {
    return Der(text.begin(), text.end());
}

// A name attribute: {type OID octets, string tag, value}.
struct Attr {
    Der type;
    uint8_t stringTag;
    std::string value;
};

// One RDN of all the attributes given.
inline Der Rdn(std::initializer_list<Attr> attributes) {
    Der set;
    for (const Attr& a : attributes) set = Concat({set, Sequence({Tlv(0x06, a.type), Tlv(a.stringTag, Text(a.value))})});
    return Tlv(0x31, set);
}

// A Name of single-valued RDNs.
inline Der NameDer(std::initializer_list<Attr> attributes) {
    Der rdns;
    for (const Attr& a : attributes) rdns = Concat({rdns, Rdn({a})});
    return Tlv(0x30, rdns);
}

inline const Der kCountry{0x55, 0x04, 0x06};
inline const Der kCommonName{0x55, 0x04, 0x03};
inline const Der kOrganization{0x55, 0x04, 0x0A};
inline const Der kSha256Rsa = AlgorithmIdentifier("1.2.840.113549.1.1.11");

// The parts of a certificate; each is an encoded element or empty.
struct CertParts {
    Der version = Tlv(0xA0, Tlv(0x02, {0x02}));  // v3
    Der serial = Tlv(0x02, {0x01});
    Der innerAlgorithm = kSha256Rsa;
    Der issuer = NameDer({{kCommonName, 0x13, "Test CA"}});
    Der notBefore = Tlv(0x17, Text("200101000000Z"));
    Der notAfter = Tlv(0x17, Text("300101000000Z"));
    Der subject = NameDer({{kCommonName, 0x13, "Test leaf"}});
    Der spki = Sequence({AlgorithmIdentifier("1.2.840.113549.1.1.1"), Tlv(0x03, {0x00, 0x30, 0x00})});
    Der uniqueIds;
    Der extensions;  // the Extensions SEQUENCE, wrapped in [3] by Build
    Der outerAlgorithm = kSha256Rsa;
    Der signature = Tlv(0x03, {0x00, 0x01, 0x02});

    Der Tbs() const {
        Der ext = extensions.empty() ? Der{} : Tlv(0xA3, extensions);
        return Sequence({version, serial, innerAlgorithm, issuer, Sequence({notBefore, notAfter}), subject, spki, uniqueIds, ext});
    }
    Der Build() const { return Sequence({Tbs(), outerAlgorithm, signature}); }
};

inline Der Extension(const Der& oid, bool critical, const Der& value) {
    return Sequence({Tlv(0x06, oid), critical ? Der{0x01, 0x01, 0xFF} : Der{}, Tlv(0x04, value)});
}

}  // namespace korva::toolkit::testing
