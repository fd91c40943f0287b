#include "catalog/MicrosoftCatalogCallback.h"

#include <gtest/gtest.h>

#include "tests/catalog/CallbackTestSupport.h"

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
        CMicrosoftCatalogCallback callback(anchors.set());
        CallbackOutcome got = Outcome(WalkCatalog(ReadFile(path), callback), callback);
        EXPECT_EQ(got.accepted, want.accepted);
        EXPECT_EQ(got.walk, want.walk);
        EXPECT_EQ(got.members, want.members);
        if (!want.accepted) continue;
        EXPECT_EQ(got.signerValues, want.signerValues);
        EXPECT_EQ(got.flags, want.flags);
        EXPECT_EQ(got.time, want.time);
    }
}

}  // namespace
}  // namespace korva::catalog_test
