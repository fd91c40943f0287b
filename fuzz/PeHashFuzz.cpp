// Any bytes as a file to look up: every range stays inside the file, a file
// that is no well-formed image is hashed whole, a PE image never with its
// checksum field, and hashing never faults.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tools/cattool/PeImage.h"

namespace cattool = korva::cattool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> file(data, size);
    cattool::ImageLayout layout = cattool::LayOutImage(file);
    for (const cattool::ByteRange& range : layout.ranges) {
        if (range.offset > size || range.size > size - range.offset) std::abort();
    }
    if ((layout.kind == cattool::ImageKind::Malformed) != (layout.problem != nullptr)) std::abort();
    // The headers up to the checksum field come first. Nothing else about a
    // second range holds: headers that end right after the checksum leave
    // none of their own, so the first section follows.
    if (layout.kind == cattool::ImageKind::Pe) {
        if (layout.ranges.empty() || layout.ranges[0].offset != 0 || layout.ranges[0].size == 0) std::abort();
    } else if (layout.ranges.size() != 1 || layout.ranges[0].size != size) {
        std::abort();
    }
    cattool::DigestImage(file, layout, korva::crypto::HashAlgorithm::Sha256);
    return 0;
}
