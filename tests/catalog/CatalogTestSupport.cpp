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

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes NestedSequences(size_t depth) {
    Bytes out(depth * 6 + 2, 0x00);  // the NULL's two octets stay zero but for its tag
    out[depth * 6] = 0x05;
    for (size_t level = 0; level < depth; ++level) {
        size_t contentLength = (depth - level - 1) * 6 + 2;
        out[level * 6] = 0x30;
        out[level * 6 + 1] = 0x84;
        for (int i = 0; i < 4; ++i) out[level * 6 + 2 + i] = static_cast<uint8_t>(contentLength >> (8 * (3 - i)));
    }
    return out;
}

uint32_t RecordingCallback::OnNode(TarnVerifyTrustDriver::Asn1Node& node) {
    nodes.emplace_back(node.depth, node.index, node.tag, node.tagClass, node.offset, node.len);
    oidFlags.push_back(node.oidFlags);
    return nodes.size() - 1 == answerAt ? answer : 0;
}

}  // namespace korva::catalog_test
