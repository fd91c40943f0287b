// Any bytes through the .reg parser: it must return a status, never crash,
// and a tree it accepts must keep the invariants the registry relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    korva::platform::RegTree tree;
    korva::platform::RegFileStatus status = korva::platform::ParseRegFile(data, size, tree);
    if (!status.ok()) return 0;
    size_t values = 0;
    for (const auto& [path, key] : tree.keys) {
        // Every key's parent exists, as after an import.
        size_t slash = path.rfind(L'\\');
        if (slash != std::wstring::npos && tree.keys.count(path.substr(0, slash)) == 0) std::abort();
        if (korva::platform::FoldRegistryName(path) != path) std::abort();
        values += key.values.size();
    }
    if (values != tree.valueCount || tree.keys.size() > korva::platform::kMaxRegKeys) std::abort();
    return 0;
}
