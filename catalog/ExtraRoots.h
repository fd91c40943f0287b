// Roots trusted beyond the built-in table, per group, for a caller that asks
// for them explicitly: tests that sign with their own roots and the
// companion tool's test-signing option. Nothing in KorvaCatalogDB's own run
// makes one, so a default build trusts the built-in rows only.
#pragma once

#include <cstdint>
#include <span>

#include "catalog/RootTable.h"
#include "runtime/Allocator.h"

namespace TarnVerifyTrustDriver {

// One added root: a row like the built-in ones (its own copy of the DER and
// its own verified mark) and the group whose list it joins.
struct ExtraRoot {
    ExtraRoot* next;
    uint32_t group;
    RootRow row;
};

class CExtraRoots : public TAllocator<CExtraRoots> {
public:
    CExtraRoots() = default;
    virtual ~CExtraRoots();
    CExtraRoots(const CExtraRoots&) = delete;
    CExtraRoots& operator=(const CExtraRoots&) = delete;

    // Keeps a copy of `der` for group 1-3 under `id`, after the roots added
    // before: 1; 3 for another group or an empty encoding; 22 out of memory.
    // The certificate is checked like a built-in root when a set is built.
    uint32_t Add(uint32_t group, uint64_t id, std::span<const uint8_t> der);
    void Clear();

    // The added roots in the order added, every group together.
    ExtraRoot* first() const { return first_; }

private:
    ExtraRoot* first_ = nullptr;
    ExtraRoot* last_ = nullptr;
};

}  // namespace TarnVerifyTrustDriver
