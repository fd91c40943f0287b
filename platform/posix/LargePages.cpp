#include "platform/LargePages.h"

#include <sys/mman.h>

namespace korva::platform {

namespace {

#ifdef MADV_HUGEPAGE
constexpr size_t kLargePage = size_t{2} << 20;
#else
constexpr size_t kLargePage = 0;  // no large pages asked for
#endif

size_t RoundUp(size_t size) { return (size + kLargePage - 1) & ~(kLargePage - 1); }

}  // namespace

size_t LargePageSlack(size_t size) {
    // Below one large page there is nothing to gain. The slack is address
    // space: of it only the rest of the last large page is ever touched.
    if (kLargePage == 0 || size < kLargePage || size > SIZE_MAX / 2) return 0;
    return RoundUp(size) - size + kLargePage;
}

uint8_t* PlaceOnLargePages(void* block, size_t blockSize, size_t size) {
    auto* bytes = static_cast<uint8_t*>(block);
    if (LargePageSlack(size) == 0) return bytes;
    size_t skipped = RoundUp(reinterpret_cast<uintptr_t>(block)) - reinterpret_cast<uintptr_t>(block);
    if (blockSize < skipped || blockSize - skipped < RoundUp(size)) return bytes;
#ifdef MADV_HUGEPAGE
    (void)::madvise(bytes + skipped, RoundUp(size), MADV_HUGEPAGE);
#endif
    return bytes + skipped;
}

}  // namespace korva::platform
