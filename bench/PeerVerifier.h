// A second verifier of catalog files, built on libcrypto alone, reaching the
// same verdict and member hashes as the engine on the benchmark tree: the
// yardstick the engine's speed is measured against.
#pragma once

#include <memory>
#include <vector>

#include "bench/EngineBuild.h"
#include "tools/catgen/Der.h"

namespace korva::bench {

class PeerVerifier {
public:
    PeerVerifier(const std::vector<catgen::Bytes>& codeSigningRoots, const std::vector<catgen::Bytes>& timeStampingRoots);
    ~PeerVerifier();
    PeerVerifier(const PeerVerifier&) = delete;
    PeerVerifier& operator=(const PeerVerifier&) = delete;

    // Accepted when the SignedData holds one signer over a trust list whose
    // content digest matches, its RSA signature over the signed attributes
    // holds, its chain ends in a code-signing root, and a countersignature or
    // time-stamp token, when present, verifies up to a time-stamping root.
    // The member hashes are the SHA-1 and SHA-256 ones of the trust list's
    // indirect-data attributes, in document order.
    Verdict Verify(const catgen::Bytes& catalog) const;

private:
    struct Stores;
    std::unique_ptr<Stores> stores_;
};

}  // namespace korva::bench
