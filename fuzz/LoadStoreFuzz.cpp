// Any bytes as a Cat.DB body through LoadStore. A store it accepts, written
// out again in full, must load back to exactly the same store.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/CatalogStoreFile.h"
#include "tools/storeharness/StoreHarness.h"

namespace tvt = TarnVerifyTrustDriver;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::wstring systemDirectory = tvt::test::SystemDirectory();  // names travel in kernel form
    tvt::test::MemoryStream input(tvt::test::Bytes(data, data + size));
    tvt::CatalogStore first;
    if (!tvt::LoadStore(first, input, 0)) return 0;
    tvt::test::MarkAllUnsaved(first);
    tvt::test::MemoryOutput output;
    if (!tvt::SaveStore(first, output)) std::abort();
    tvt::test::MemoryStream again(output.written);
    tvt::CatalogStore second;
    if (!tvt::LoadStore(second, again, 0) || tvt::test::Describe(first) != tvt::test::Describe(second)) std::abort();
    return 0;
}
