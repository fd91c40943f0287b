// Seeded mutations of a DER file, for tests that feed a verifier damaged
// catalogs: bit flips, octet changes and truncations anywhere, and changes
// that know the structure:
// lengths and tags of elements, OIDs swapped for others of the file,
// certificates swapped, and children (attributes among them) removed,
// duplicated or swapped, with every enclosing length encoded anew.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/catgen/Der.h"

namespace korva::catgen {

// One element: the identifier's class and constructed bits, the tag, and
// either its content octets or, when constructed and well formed, children.
struct DerNode {
    uint8_t tagClass = 0;
    uint32_t tag = 0;
    Bytes content;
    std::vector<DerNode> children;
    bool parsed = false;  // children hold the content
};

// The elements of `bytes` in order; false when the octets are not a
// sequence of definite-length elements.
bool ParseDer(const Bytes& bytes, std::vector<DerNode>& nodes);
// Minimal definite lengths throughout.
Bytes EncodeDer(const std::vector<DerNode>& nodes);

// The places of a SignedData that no signature of it covers, where an
// attacker may write what he likes.
enum class UnsignedPlace {
    kCertificatesOther,             // an [4] entry among the certificates
    kCertificatesSet,               // a SET among the certificates
    kSignerUnauthenticated,         // an attribute among the signer's unsigned ones
    kSignerDigestParameters,        // the parameters of the signer's digestAlgorithm
    kSecondSignerInfo,              // a second SignerInfo, the first one's copy
    kCountersignerUnauthenticated,  // an unsigned attribute of a PKCS #9 countersigner
    kTokenCertificates,             // an [4] entry among an RFC 3161 token's certificates
    kTokenSignerUnauthenticated,    // an unsigned attribute of the token's signer
    kCount
};
const char* NameOf(UnsignedPlace place);
// The member hashes an armed structure carries: one SHA-1, one SHA-256.
std::vector<Bytes> ArmedMemberHashes();
// Writes an attribute that holds the trust-list and indirect-data OIDs and
// the armed hashes, wrapped as a member would wrap them, into `place`;
// false when the catalog has no such place.
bool PlaceArmedMember(std::vector<DerNode>& tree, UnsignedPlace place);

enum class Mutation { kBitFlip, kOctet, kTruncation, kLength, kTag, kOid, kCertificates, kChildren, kArmedMember, kCount };
const char* NameOf(Mutation mutation);

class DerMutator {
public:
    // `original` must re-encode to itself for the structure-aware kinds;
    // otherwise only the first three are made.
    explicit DerMutator(Bytes original);
    bool structured() const { return structured_; }

    // A mutant of the given kind, never equal to the original.
    Bytes Mutate(Mutation mutation, std::mt19937& random) const;

private:
    Bytes original_;
    std::vector<DerNode> tree_;
    bool structured_ = false;
    // Offsets of every element header of the original, for in-place edits.
    std::vector<size_t> headers_;
};

}  // namespace korva::catgen
