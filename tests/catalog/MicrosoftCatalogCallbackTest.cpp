#include "catalog/MicrosoftCatalogCallback.h"

#include <gtest/gtest.h>

#include "tests/catalog/CallbackTestSupport.h"
#include "tests/common/AllocationFaults.h"

namespace korva::catalog_test {
namespace {

using TarnVerifyTrustDriver::CMicrosoftCatalogCallback;

// Every real catalog: verdict, walk result, member hashes and, for accepted
// ones, the four signer values, the flags and the time the store keeps.
TEST(MicrosoftCatalogCallbackTest, RealCatalogsAgreeWithTheirExpectations) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    std::map<std::string, ExpectedCatalog> expected = ExpectedRealCatalogs();
    ASSERT_EQ(expected.size(), catalogs.size());
    RootAnchors anchors;
    for (const auto& path : catalogs) {
        SCOPED_TRACE(path.filename().string());
        const ExpectedCatalog& want = expected.at(path.filename().string());
        CallbackOutcome got = RunCallback(ReadFile(path), anchors.set());
        EXPECT_EQ(got.accepted, want.accepted);
        EXPECT_EQ(got.walk, want.walk);
        EXPECT_EQ(got.members, want.members);
        if (!want.accepted) continue;
        EXPECT_EQ(got.signerValues, want.signerValues);
        EXPECT_EQ(got.flags, want.flags);
        EXPECT_EQ(got.time, want.time);
    }
}

// Every allocation of an accepted catalog's walk failing in turn: the catalog
// is refused, or accepted with exactly what the clean walk collected, and
// nothing leaks.
TEST(MicrosoftCatalogCallbackTest, AllocationFailuresRefuseOrKeepTheSameResults) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    Bytes catalog = ReadFile(std::filesystem::path(KORVA_SHARED_DIR) / "realcats" / "missionplanner_stmcdc.cat");
    RootAnchors anchors;
    CallbackOutcome clean;
    uint64_t refused = 0;
    uint64_t count = korva::test_support::SweepAllocationFailures([&](uint64_t failing) {
        auto* callback = new CMicrosoftCatalogCallback(anchors.set());
        if (callback == nullptr) {
            ++refused;
            return;
        }
        CallbackOutcome got = Outcome(WalkCatalog(catalog, *callback), *callback);
        delete callback;
        if (failing == 0) {
            clean = got;
            ASSERT_TRUE(clean.accepted);
        } else if (!got.accepted) {
            ++refused;
        } else {
            EXPECT_EQ(got.members, clean.members) << failing;
            EXPECT_EQ(got.signerValues, clean.signerValues) << failing;
            EXPECT_EQ(got.flags, clean.flags) << failing;
            EXPECT_EQ(got.time, clean.time) << failing;
        }
    });
    EXPECT_GT(count, 100u);
    EXPECT_GT(refused, 0u);
}

}  // namespace
}  // namespace korva::catalog_test
