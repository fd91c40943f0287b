// Countersignatures of a catalog's signature: a PKCS #9 countersignature
// (1.2.840.113549.1.9.6) or an RFC 3161 time-stamp token in the attribute
// real catalogs use for it (1.3.6.1.4.1.311.3.3.1).
#pragma once

#include <cstdint>
#include <optional>

#include "tools/catgen/Der.h"
#include "tools/catgen/Malformation.h"
#include "tools/catgen/Pki.h"

namespace korva::catgen {

enum class Timestamp { kNone, kPkcs9, kRfc3161 };

struct TimestampOptions {
    Timestamp kind = Timestamp::kNone;
    const Chain* chain = nullptr;  // the time-stamping chain; its leaf signs
    Digest digest = Digest::kSha256;
    // The signing time of a countersignature (none: the attribute is left
    // out) or the genTime of a token (none: a fixed time).
    std::optional<int64_t> time;
    Malformation malformation = Malformation::kNone;
    bool zoneless = false;  // a countersignature's signing time without its Z
};

// The kind a catalog showing `malformation` needs: a token for what only a
// token has, a countersignature when none was asked for, else `requested`.
Timestamp TimestampFor(Malformation malformation, Timestamp requested);

// The unauthenticated attribute that countersigns `encryptedDigest`.
Bytes CountersignatureAttribute(const TimestampOptions& options, const Bytes& encryptedDigest);

}  // namespace korva::catgen
