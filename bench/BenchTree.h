// A synthetic system directory at the scale of a real one: thousands of
// catalogs in both catalog directories, signed by a handful of chains under
// test roots, a third of them refused for one reason or another, and one
// package catalog of a hundred thousand members. The same options, seed and
// keys always give the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/catgen/Der.h"
#include "tools/catgen/Malformation.h"
#include "tools/catgen/Timestamp.h"

namespace korva::bench {

using catgen::Bytes;

struct TreeOptions {
    size_t catalogs = 2500;          // besides the package catalog
    uint64_t seed = 1;
    size_t packageMembers = 100000;  // 0: no package catalog
    // Where keys are kept between runs (made once, they are the slow part);
    // empty: made afresh in this process.
    std::filesystem::path keyDirectory;
    // Sizes of keys made afresh: roots as large as real code-signing roots.
    int rootKeyBits = 4096;
    int keyBits = 2048;
};

struct TreeCatalog {
    std::filesystem::path path;
    catgen::Malformation malformation = catgen::Malformation::kNone;
    catgen::Timestamp timestamp = catgen::Timestamp::kNone;
    // The SHA-1 and SHA-256 member hashes in document order.
    std::vector<Bytes> memberHashes;
    uint64_t bytes = 0;
};

struct Tree {
    std::filesystem::path systemDirectory;  // holds CatRoot/{GUID}/*.cat
    std::vector<Bytes> codeSigningRoots;     // DER, to be trusted for code signing
    std::vector<Bytes> timeStampingRoots;    // DER, to be trusted for time stamping
    std::vector<TreeCatalog> catalogs;       // in the order the engine scans them
    size_t packageIndex = SIZE_MAX;          // the package catalog in `catalogs`
    uint64_t totalBytes = 0;
};

// Writes the tree below `directory` (emptied first); false with `error` set
// when a file cannot be written.
bool GenerateTree(const TreeOptions& options, const std::filesystem::path& directory, Tree& tree,
                  std::string& error);

// The refusals a tree mixes in, each a different reason a verifier gives.
const std::vector<catgen::Malformation>& TreeRefusals();

}  // namespace korva::bench
