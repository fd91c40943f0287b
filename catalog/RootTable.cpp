#include "catalog/RootTable.h"

namespace TarnVerifyTrustDriver {

extern RootRow g_rootTable[kRootCount];

uint32_t RootGroup(uint64_t id) {
    if (id < 300) return 1;
    if (id < 900) return 2;
    return 3;
}

std::span<RootRow> RootTable() { return g_rootTable; }

bool MarkRootVerified(RootRow& row) {
    uint64_t expected = 0;
    return row.verified.compare_exchange_strong(expected, 1);
}

}  // namespace TarnVerifyTrustDriver
