// A second verifier of catalog files, built on libcrypto alone: the yardstick
// the engine's speed is measured against, the differential oracle of the
// engine's verdicts on generated trees, and the check that each of the
// generator's malformations breaks what its name says.
#pragma once

#include <memory>
#include <vector>

#include "tools/catgen/Der.h"

namespace korva::peer {

using catgen::Bytes;

// What libcrypto finds in a catalog, one fact per check, so that a broken
// catalog shows which check it fails.
struct Facts {
    bool parsed = false;            // a PKCS #7 structure
    bool signedData = false;
    bool trustListContent = false;  // the content is a trust list
    int digestAlgorithms = 0;
    int certificates = 0;
    bool crls = false;
    int signers = 0;
    int authenticatedAttributes = 0;
    bool rsaEncryption = false;     // the signer's signature algorithm is RSA
    bool signerShape = false;       // SHA-1 or SHA-256, RSA, the trust list's content type, the one digest algorithm
    bool contentDigest = false;     // the message-digest attribute matches the trust list
    bool signature = false;         // the signer's certificate signed the attributes
    bool chain = false;             // the signer's chain ends in a code-signing root
    Bytes root;                     // that root's DER, when the chain holds
    bool countersigned = false;     // a countersignature or time-stamp token is present
    bool countersignature = false;  // each present one verifies up to a time-stamping root
    bool members = false;           // the trust list's subjects could be read
    std::vector<Bytes> memberHashes;  // SHA-1 and SHA-256 indirect-data hashes, in document order
};

struct Verdict {
    bool accepted = false;
    std::vector<Bytes> memberHashes;  // document order; only kept for accepted catalogs
};

class PeerVerifier {
public:
    // `anchorsAsGiven`: the signer chain's validity dates, unknown critical
    // extensions and the root's own CA marks are not held against it, as the
    // engine takes its trust anchors for long-expired real catalogs.
    PeerVerifier(const std::vector<Bytes>& codeSigningRoots, const std::vector<Bytes>& timeStampingRoots,
                 bool anchorsAsGiven = false);
    ~PeerVerifier();
    PeerVerifier(const PeerVerifier&) = delete;
    PeerVerifier& operator=(const PeerVerifier&) = delete;

    Facts Inspect(const Bytes& catalog) const;

    // Accepted when the SignedData holds one signer over a trust list whose
    // content digest matches, its RSA signature over the signed attributes
    // holds, its chain ends in a code-signing root, and a countersignature or
    // time-stamp token, when present, verifies up to a time-stamping root.
    Verdict Verify(const Bytes& catalog) const;

private:
    struct Stores;
    std::unique_ptr<Stores> stores_;
};

}  // namespace korva::peer
