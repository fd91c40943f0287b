// The providers without libcrypto, so the Windows build runs them too: the
// database's params block, and the shared root certificates built as paths
// of their own.
#include <gtest/gtest.h>

#include <vector>

#include "tests/toolkit/CertTestData.h"
#include "tests/toolkit/PathFixture.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/Dispatch.h"
#include "toolkit/Imdb.h"
#include "toolkit/ImdbSlots.h"
#include "toolkit/PathProvider.h"

namespace korva::toolkit {
namespace {

// A params block with lists taken as given: an absent store answers 1801.
TEST(ImdbParamsTest, AbsentStoresAnswerWrongKind) {
    ObjectList* certs = nullptr;
    ASSERT_EQ(ObjectListCreate(&certs), kOk);
    ImdbParams params{certs, nullptr, nullptr, nullptr};
    void* param = &params;
    const ProviderRecord record{4, "In-memory Database", ImdbInit};
    ToolkitContext* context = nullptr;
    ASSERT_EQ(ContextCreate(&record, &param, 1, &context), kOk);
    void* handle = context->providers[kClassDatabase]->handle;
    ImdbIterator iterator = nullptr;
    EXPECT_EQ(ImdbFirstCert(context, handle, &iterator, certs), kNotFound);
    EXPECT_EQ(ImdbFirstCrl(context, handle, &iterator, certs), kWrongObjectKind);
    EXPECT_EQ(ImdbFirstKey(context, handle, &iterator, nullptr), kWrongObjectKind);
    EXPECT_EQ(ImdbGetKey(context, handle, nullptr, 0, nullptr), kWrongObjectKind);
    EXPECT_EQ(ImdbDeleteKey(context, handle, nullptr, 0), kWrongObjectKind);
    ContextFree(&context);
    EXPECT_EQ(ObjectListCount(certs, nullptr), kOk);  // not freed: the caller owns it
    ObjectListFree(&certs);
}

class PathRootsTest : public testing::PathFixture {
protected:
    void SetUp() override {
        PathFixture::SetUp();
        for (const testing::TestCert& root : testing::LoadRootCerts()) roots_.push_back(Trust(root.der));
        if (roots_.empty()) GTEST_SKIP() << "shared roots not found";
    }

    std::vector<CertObject*> roots_;
};

// A trusted start certificate is a path of its own, under every kind,
// even long after it expired; a root that is not trusted has no path. Each
// root's check of its own signature is TrustAnchorSetTest's.
TEST_F(PathRootsTest, TrustedRootIsItsOwnPath) {
    ASSERT_EQ(roots_.size(), 17u);
    time_ = 0xF0000000;
    for (uint32_t kind : {kPathKindChainOnly, kPathKindValidate, kPathKindAlternative}) {
        EXPECT_EQ(Build(roots_.front(), kind, kPathNoStatus), kOk);
        EXPECT_EQ(PathLength(), 1u);
    }
    ObjectList* none = nullptr;
    ASSERT_EQ(ObjectListCreate(&none), kOk);
    PathParams params{kPathKindChainOnly, 7, none, nullptr, 0, database_};
    EXPECT_EQ(PathBuildRequest(context_, &params, roots_.front(), nullptr, nullptr, nullptr, nullptr),
              kPathAtTrustAnchor);
    params.kind = 4;
    EXPECT_EQ(PathBuildRequest(context_, &params, roots_.front(), nullptr, nullptr, nullptr, nullptr),
              kNotForThisProvider);
    ObjectListFree(&none);
}

}  // namespace
}  // namespace korva::toolkit
