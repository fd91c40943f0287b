// Any bytes through what explain reads of a catalog beside the verdict: the
// certificates it carries (and the signer's chain among them) and the
// members of its trust list. Each must come back, whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tools/cattool/CatalogCertificates.h"
#include "tools/cattool/CatalogMembers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> catalog(data, size);
    korva::cattool::CatalogCertificates certificates = korva::cattool::CatalogCertificatesOf(catalog, nullptr);
    for (size_t index : certificates.chain) {
        if (index >= certificates.all.size()) std::abort();
    }
    for (const korva::cattool::CatalogMember& member : korva::cattool::CatalogMembersOf(catalog)) {
        if (!member.hash.empty() && member.hash.size() != 20 && member.hash.size() != 32) std::abort();
    }
    return 0;
}
