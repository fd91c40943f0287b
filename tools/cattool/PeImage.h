// The digests a catalog lists for a file: for a PE image its Authenticode
// digest, which leaves out the checksum field, the certificate table's
// directory entry and the certificate data so that signing does not change
// it, and which for an unsigned image whose size is not a multiple of 8 goes
// on with zeros up to the next multiple, as signing pads the file; for any
// other file the digest of all its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "toolkit/crypto/Hash.h"

namespace korva::cattool {

// A run of file bytes that goes into the digest.
struct ByteRange {
    size_t offset = 0;
    size_t size = 0;
};

enum class ImageKind : uint8_t {
    Flat,       // no "MZ" image with a "PE\0\0" signature: every byte counts
    Pe,         // a PE image: the Authenticode ranges count
    Malformed,  // announces a PE image but its headers do not hold together
};

struct ImageLayout {
    ImageKind kind = ImageKind::Flat;
    const char* problem = nullptr;  // for Malformed: what did not hold together
    std::vector<ByteRange> ranges;  // in hashing order
    size_t zeroPadding = 0;         // zero bytes hashed after the ranges
};

// Where the digest of `file` comes from. A malformed image is reported with
// the flat range, which is what a catalog could list for such a file.
ImageLayout LayOutImage(std::span<const uint8_t> file);

// The digest of `file` over `layout`'s ranges.
crypto::Digest DigestImage(std::span<const uint8_t> file, const ImageLayout& layout, crypto::HashAlgorithm algorithm);

}  // namespace korva::cattool
