// Why a catalog was refused, in a vocabulary that stays the same from release
// to release: a short code for scripts and a sentence for people. The codes:
//   not-a-catalog, truncated, malformed, unsigned, content-digest-mismatch,
//   attribute-digest-mismatch, bad-signature, signer-certificate-missing,
//   self-signed-signer, untrusted-root, chain-invalid, countersignature-invalid,
//   revoked-signer, over-limit, out-of-memory, not-recorded, unreadable.
#pragma once

#include <string>

#include "tools/cattool/CatalogWalk.h"

namespace korva::cattool {

struct Refusal {
    const char* code = nullptr;  // null: the catalog is accepted
    std::string words;
};

// The reason for the walk's verdict, read from the walk result, the element
// the callback refused, the events it traced and its verdicts.
Refusal ClassifyWalk(const CatalogWalk& walk);

// The older, coarser class explain's JSON has always given a refused
// catalog's store verdict: "chain-not-to-list1", "signer-self-signed",
// "unsigned:shape:<SignedData field>", or the verdict itself.
std::string VerdictClass(const CatalogWalk& walk, const char* verdict);

}  // namespace korva::cattool
