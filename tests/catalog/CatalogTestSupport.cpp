#include "tests/catalog/CatalogTestSupport.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace korva::catalog_test {

std::vector<std::filesystem::path> RealCatalogs() {
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(KORVA_SHARED_DIR "/realcats", error)) {
        if (entry.path().extension() == ".cat") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t RecordingCallback::OnNode(const TarnVerifyTrustDriver::Asn1Node& node) {
    nodes.emplace_back(node.depth, node.index, node.tag, node.tagClass, node.offset, node.len);
    oidFlags.push_back(node.oidFlags);
    return nodes.size() - 1 == answerAt ? answer : 0;
}

Bytes NestedSequences(size_t depth) {
    Bytes inner = {0x05, 0x00};
    // Built from the inside out; every level's length in four octets keeps
    // the arithmetic simple and the header at 6 octets.
    Bytes out(depth * 6 + inner.size());
    size_t contentLength = inner.size();
    std::copy(inner.begin(), inner.end(), out.end() - inner.size());
    for (size_t level = depth; level-- > 0;) {
        size_t at = level * 6;
        out[at] = 0x30;
        out[at + 1] = 0x84;
        for (int i = 0; i < 4; ++i) out[at + 2 + i] = static_cast<uint8_t>(contentLength >> (8 * (3 - i)));
        contentLength += 6;
    }
    return out;
}

}  // namespace korva::catalog_test
