// Hostile catalogs of a chosen size, for the bounded-cost benchmark and the
// verdict tests: signed under a test root (or not signed at all), each one
// shaped to make one part of the verifier work hard.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/catgen/Pki.h"

namespace korva::catgen {

enum class Hostile {
    kLongNames,        // members with long file names, to `size` octets
    kManyMembers,      // `size` SHA-1 members
    kDeepNesting,      // `size` nested SEQUENCEs, unsigned
    kManyCertificates, // `size` decoy issuers besides the signer's chain
    kCrossSigned,      // `size` layers of `size` cross-signed CAs above the signer, none trusted
    kLargeExponent,    // the signer's key with a public exponent of `size` octets
};

struct HostileCatalog {
    std::string name;
    Bytes der;
    bool accepted = false;  // the verdict the verifier must reach
};

// Builds under `root`, which the caller trusts as a code-signing root.
HostileCatalog BuildHostile(Hostile kind, size_t size, const Identity& root);

}  // namespace korva::catgen
