// Running the catalog callback in tests: the built-in roots as anchor lists,
// one walk over a byte string, and the expectations of the real catalogs.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalog/CertContext.h"
#include "catalog/MicrosoftCatalogCallback.h"
#include "catalog/TrustAnchorSet.h"
#include "tests/catalog/CatalogTestSupport.h"

namespace korva::catalog_test {

// The trust anchor set of the built-in roots, for the lifetime of the object.
class RootAnchors {
public:
    // `extra` (may be null): further roots the set also trusts.
    explicit RootAnchors(TarnVerifyTrustDriver::CExtraRoots* extra = nullptr);
    ~RootAnchors();
    RootAnchors(const RootAnchors&) = delete;
    RootAnchors& operator=(const RootAnchors&) = delete;
    const TarnVerifyTrustDriver::TrustAnchorSet& set() const { return set_; }

private:
    TarnVerifyTrustDriver::CCertContext context_;
    TarnVerifyTrustDriver::TrustAnchorSet set_;
};

// OnParseBegin, then the walk; the walk result (22 when OnParseBegin refused).
uint32_t WalkCatalog(const Bytes& catalog, TarnVerifyTrustDriver::CMicrosoftCatalogCallback& callback);

// What the store would keep from an accepted walk, as hex strings.
struct CallbackOutcome {
    uint32_t walk = 0;
    bool accepted = false;
    std::vector<std::string> members;
    std::vector<std::string> signerValues;  // 1 and 2 without their NUL
    uint32_t flags = 0;
    uint32_t time = 0;
};
CallbackOutcome Outcome(uint32_t walk, const TarnVerifyTrustDriver::CMicrosoftCatalogCallback& callback);
// The outcome of a fresh callback's walk over `catalog`.
CallbackOutcome RunCallback(const Bytes& catalog, const TarnVerifyTrustDriver::TrustAnchorSet& anchors);
// Byte strings as the outcome's hex strings.
std::vector<std::string> HexStrings(const std::vector<Bytes>& values);

// One line of the real catalogs' expected.jsonl.
struct ExpectedCatalog {
    std::string file;
    bool accepted = false;
    uint32_t walk = 0;
    std::vector<std::string> members;
    std::vector<std::string> signerValues;
    uint32_t flags = 0;
    uint32_t time = 0;
};
// By file name; empty when the file is absent.
std::map<std::string, ExpectedCatalog> ExpectedRealCatalogs();

}  // namespace korva::catalog_test
