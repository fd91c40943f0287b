// A whole catalog: PKCS #7 SignedData over a certificate trust list, signed
// by the leaf of a chain, optionally countersigned or time-stamped, and
// optionally malformed in one named way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "tools/catgen/Der.h"
#include "tools/catgen/Malformation.h"
#include "tools/catgen/Pki.h"
#include "tools/catgen/Timestamp.h"
#include "tools/catgen/TrustList.h"

namespace korva::catgen {

struct CatalogOptions {
    TrustListOptions trustList;
    Digest digest = Digest::kSha256;    // SignedData and signer digest
    std::optional<int64_t> signingTime;  // the authenticated signing-time attribute
    Timestamp timestamp = Timestamp::kNone;
    Digest timestampDigest = Digest::kSha256;
    // The countersignature signing time or token genTime (2020-09-13); none
    // leaves a countersignature without signing time.
    std::optional<int64_t> timestampTime = 1600000000;
    bool zonelessTimestampTime = false;  // the countersignature's signing time without its Z
    Malformation malformation = Malformation::kNone;
};

struct Catalog {
    Bytes der;
    // The SHA-1 and SHA-256 member hashes in document order: what a verifier
    // collects from the indirect-data attributes.
    std::vector<Bytes> memberHashes;
};

// `timeStamper` signs the countersignature or token; without it none is added.
Catalog BuildCatalog(const CatalogOptions& options, const Chain& signer, const Chain* timeStamper);

// The chains a malformation needs: under a fresh untrusted root, or with a
// self-signed signer, where it says so; otherwise BuildChain under `root`.
Chain SignerChainFor(const Identity& root, ChainOptions options, Malformation malformation);
Chain TimeStamperChainFor(const Identity& root, ChainOptions options, Malformation malformation);

bool WriteCatalog(const std::filesystem::path& path, const Bytes& der);

}  // namespace korva::catgen
