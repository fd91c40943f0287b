// Seeded mutations of a DER file for the mutation tests: bit flips, octet
// changes and truncations anywhere, and changes that know the structure:
// lengths and tags of elements, OIDs swapped for others of the file,
// certificates swapped, and children (attributes among them) removed,
// duplicated or swapped, with every enclosing length encoded anew.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/catalog/CatalogTestSupport.h"

namespace korva::catalog_test {

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

enum class Mutation { kBitFlip, kOctet, kTruncation, kLength, kTag, kOid, kCertificates, kChildren, kCount };
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

}  // namespace korva::catalog_test
