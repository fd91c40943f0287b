// Any bytes as a root a caller adds (the companion tool reads them from a
// file): the build must return a status, never crash, and list the root
// only when its self-signature verified, in the group it was added to.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "catalog/CertContext.h"
#include "catalog/CertResult.h"
#include "catalog/TrustAnchorSet.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathProvider.h"

namespace tvt = TarnVerifyTrustDriver;
namespace tk = korva::toolkit;

namespace {

uint32_t Count(tk::ObjectList* list) {
    uint32_t count = 0;
    tk::ObjectListCount(list, &count);
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static constexpr tk::ProviderRecord kProviders[] = {{4, "In-memory database", tk::ImdbInit},
                                                        {6, "Cert Path Processing Provider", tk::PathInit}};
    tvt::CCertContext context;
    if (context.Start(kProviders) != tvt::kCertSuccess) std::abort();
    const uint32_t group = data[0] % tvt::kRootGroupCount + 1;
    tvt::CExtraRoots extra;
    if (extra.Add(group, 1, std::span<const uint8_t>(data + 1, size - 1)) != tvt::kCertSuccess) std::abort();
    tvt::TrustAnchorSet set;
    set.extraRoots = &extra;
    // No built-in rows: only the added root is checked.
    tk::Status status = tvt::BuildTrustAnchorSet(set, context, {});
    if (status == tk::kOk) {
        const uint64_t verified = extra.first()->row.verified.load();
        for (uint32_t g = 1; g <= tvt::kRootGroupCount; ++g) {
            if (Count(set.lists[g - 1]) != (g == group ? verified : 0)) std::abort();
        }
    } else if (set.complete() || extra.first()->row.verified.load() != 0) {
        std::abort();
    }
    tvt::ReleaseTrustAnchorSet(set);
    return 0;
}
