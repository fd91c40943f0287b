// The providers without libcrypto, so the Windows build runs them too: the
// database's params block, and the shared root certificates checked and
// built the way the engine does when it loads its trust anchors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/toolkit/PathFixture.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/Dispatch.h"
#include "toolkit/Imdb.h"
#include "toolkit/ImdbSlots.h"
#include "toolkit/KeyFromSpki.h"
#include "toolkit/KeyObject.h"
#include "toolkit/PathProvider.h"

namespace korva::toolkit {
namespace {

namespace fs = std::filesystem;

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
        fs::path dir = fs::path(KORVA_SHARED_DIR) / "roots";
        if (!fs::exists(dir)) GTEST_SKIP() << "shared roots not found";
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().extension() != ".der") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            roots_.push_back(Trust({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}));
        }
    }

    std::vector<CertObject*> roots_;
};

// Kind 3, flags 2: each root's signature with its own key, validity aside.
TEST_F(PathRootsTest, EveryRootVerifiesWithItsOwnKey) {
    PathParams params{kPathKindAlternative, kPathNoValidity, trusted_, nullptr, 0, database_};
    for (CertObject* root : roots_) {
        KeyObject* key = nullptr;
        ASSERT_EQ(KeyObjectCreate(&key), 0u);
        const CertBytes& spki = root->fields.subjectPublicKeyInfo;
        ASSERT_EQ(KeyObjectFromSpki(key, spki.data, spki.length), 0u);
        EXPECT_EQ(PathVerifyRequest(context_, &params, root, key), kOk);
        KeyObjectFree(&key);
    }
    EXPECT_EQ(roots_.size(), 17u);
}

// A trusted start certificate is a path of its own, under every kind,
// even long after it expired; a root that is not trusted has no path.
TEST_F(PathRootsTest, TrustedRootIsItsOwnPath) {
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

Status AnswerBuild(ToolkitContext*, void*, const PathParams*, ObjectHeader*, ObjectList*, ObjectList*, ObjectList*,
                   ObjectList*) {
    return kOk;
}

// A request of another kind passes to the next provider of the chain.
TEST(PathPassOnTest, OtherKindsGoToTheNextProvider) {
    testing::TestProvider next;
    next.slots[kSlotPathBuild] = AsProviderFunction(&AnswerBuild);
    const ProviderRecord records[] = {{6, "Cert Path Processing Provider", PathInit},
                                      {6, "Next", testing::TestProviderInit}};
    void* params[] = {nullptr, &next};
    ToolkitContext* context = nullptr;
    ASSERT_EQ(ContextCreate(records, params, 2, &context), kOk);
    CertObject* cert = nullptr;
    ASSERT_EQ(CertCreate(&cert, context), kOk);
    PathParams request{4, 0, nullptr, nullptr, 0, nullptr};
    EXPECT_EQ(PathBuildRequest(context, &request, cert, nullptr, nullptr, nullptr, nullptr), kOk);
    CertFree(&cert);
    ContextFree(&context);
}

}  // namespace
}  // namespace korva::toolkit
