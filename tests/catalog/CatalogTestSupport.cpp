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

uint32_t RecordingCallback::OnNode(TarnVerifyTrustDriver::Asn1Node& node) {
    nodes.emplace_back(node.depth, node.index, node.tag, node.tagClass, node.offset, node.len);
    oidFlags.push_back(node.oidFlags);
    return nodes.size() - 1 == answerAt ? answer : 0;
}

}  // namespace korva::catalog_test
