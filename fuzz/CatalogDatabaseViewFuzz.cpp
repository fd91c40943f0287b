// Any bytes as a Cat.DB for the companion tool: the engine's load and the raw
// entry walk side by side. The walk must account for every byte up to where
// it stopped, and the paths of a loaded file must all be readable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/CatalogDatabaseFile.h"
#include "tools/storeharness/StoreHarness.h"
#include "tools/cattool/DatabaseView.h"

namespace cattool = korva::cattool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::wstring systemDirectory = TarnVerifyTrustDriver::test::SystemDirectory();
    cattool::DatabaseView view;
    view.bytes.assign(data, data + size);
    cattool::LoadDatabaseView(view);
    const cattool::RawWalk& walk = view.walk;
    uint64_t walked = walk.records.bytes + walk.names.bytes + walk.hashes.bytes + walk.signerValues.bytes;
    if (size >= TarnVerifyTrustDriver::kDatabaseHeaderSize && walked + TarnVerifyTrustDriver::kDatabaseHeaderSize != walk.end) {
        std::abort();
    }
    if (walk.complete && walk.end != size) std::abort();
    if (view.loads) view.PathsByRecord();
    return 0;
}
