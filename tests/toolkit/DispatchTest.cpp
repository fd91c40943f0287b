#include <gtest/gtest.h>

#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/Dispatch.h"
#include "toolkit/KeyObject.h"

namespace korva::toolkit {
namespace {

using testing::TestProvider;
using testing::TestProviderInit;

// A provider that answers each request with a scripted status and logs it.
struct Answering : TestProvider {
    Status answer = kOk;
    CertStatusResult fill{};

    static Answering& Of(void* handle) { return *static_cast<Answering*>(handle); }
    static Status Verify(ToolkitContext*, void* handle, const PathParams*, ObjectHeader*, KeyObject*) {
        Answering& self = Of(handle);
        self.log->push_back("verify " + self.label);
        return self.answer;
    }
    static Status Build(ToolkitContext*, void* handle, const PathParams*, ObjectHeader*, ObjectList*, ObjectList*,
                        ObjectList*, ObjectList*) {
        Answering& self = Of(handle);
        self.log->push_back("build " + self.label);
        return self.answer;
    }
    static Status CertStatus(ToolkitContext*, void* handle, const PathParams*, ObjectHeader*, CertStatusResult* out) {
        Answering& self = Of(handle);
        self.log->push_back("status " + self.label + (out->detail == nullptr ? " clean" : " dirty"));
        *out = self.fill;
        if (self.fill.detail != nullptr) ObjectRetain(self.fill.detail);
        return self.answer;
    }
};

class DispatchTest : public ::testing::Test {
protected:
    // Registers providers of `type` answering `answers`; a missing answer
    // (kNoSlot) registers a provider without the slot.
    static constexpr Status kNoSlot = UINT32_MAX;

    void Create(uint32_t type, std::vector<Status> answers) {
        providers_.assign(answers.size(), Answering{});
        std::vector<ProviderRecord> records;
        std::vector<void*> params;
        for (size_t i = 0; i < answers.size(); ++i) {
            Answering& p = providers_[i];
            p.log = &log_;
            p.label = std::to_string(i);
            p.answer = answers[i];
            if (answers[i] != kNoSlot) {
                p.slots[kSlotPathVerify] = AsProviderFunction(&Answering::Verify);
                p.slots[kSlotPathBuild] = AsProviderFunction(&Answering::Build);
                p.slots[kSlotCertStatus] = AsProviderFunction(&Answering::CertStatus);
            }
            records.push_back({type, p.label.c_str(), TestProviderInit});
            params.push_back(&p);
        }
        ASSERT_EQ(ContextCreate(records.data(), params.data(), uint32_t(records.size()), &context_), kOk);
        log_.clear();
    }
    void SetUp() override {
        cert_ = ObjectNew(sizeof(ObjectHeader), kTagCertificate, nullptr);
        crl_ = ObjectNew(sizeof(ObjectHeader), kTagCrl, nullptr);
        ASSERT_EQ(KeyObjectCreate(&key_), kOk);
        ASSERT_EQ(ObjectListCreate(&list_), kOk);
    }
    void TearDown() override {
        ContextFree(&context_);
        ObjectRelease(&cert_);
        ObjectRelease(&crl_);
        KeyObjectFree(&key_);
        ObjectListFree(&list_);
    }

    std::vector<std::string> log_;
    std::vector<Answering> providers_;
    ToolkitContext* context_ = nullptr;
    uint32_t request_ = 1;  // the providers here never look into the request
    const PathParams* params_ = reinterpret_cast<const PathParams*>(&request_);
    ObjectHeader* cert_ = nullptr;
    ObjectHeader* crl_ = nullptr;
    KeyObject* key_ = nullptr;
    ObjectList* list_ = nullptr;
};

using Log = std::vector<std::string>;

// 1874 passes on and an empty slot is skipped; with no slot at all, 1860.
TEST_F(DispatchTest, PassesOnAndSkipsEmptySlots) {
    const struct {
        uint32_t type;
        std::vector<Status> answers;
        bool build;  // a build request, else a verify request
        Status expected;
        Log log;
    } cases[] = {
        {6, {kNoSlot, kNotForThisProvider, 1873, 0}, false, 1873, {"verify 1", "verify 2"}},
        {6, {kNotForThisProvider, kNoSlot, kNotForThisProvider}, true, kNotForThisProvider, {"build 0", "build 2"}},
        {6, {kNoSlot}, false, kNoProvider, {}},
        {4, {kOk}, false, kNoProvider, {}},  // a database is not a path provider
    };
    for (const auto& c : cases) {
        Create(c.type, c.answers);
        EXPECT_EQ(c.build ? PathBuildRequest(context_, params_, crl_, list_, nullptr, nullptr, list_)
                          : PathVerifyRequest(context_, params_, cert_, key_),
                  c.expected);
        EXPECT_EQ(log_, c.log);
        ContextFree(&context_);
    }
}

TEST_F(DispatchTest, CertStatusPassesOnUndeterminedAndReleasesDetails) {
    Create(5, {kOk, kOk, kOk});
    ObjectHeader* detail = ObjectNew(sizeof(ObjectHeader), kTagCrl, nullptr);
    providers_[0].fill = {kCertStatusUndetermined, 1, detail};
    providers_[1].fill = {kCertStatusUndetermined, 0, nullptr};
    providers_[2].fill = {0, 1, detail};
    CertStatusResult result{77, 77, reinterpret_cast<ObjectHeader*>(&result)};  // stale caller data is not released
    EXPECT_EQ(CertStatusRequest(context_, params_, cert_, &result), kOk);
    EXPECT_EQ(log_, (Log{"status 0 clean", "status 1 clean", "status 2 clean"}));
    EXPECT_EQ(result.status, 0u);
    EXPECT_EQ(result.detail, detail);
    // The first provider's detail was released before the second was asked.
    EXPECT_EQ(detail->references, 2u);
    ObjectRelease(&result.detail);
    ObjectRelease(&detail);
}

TEST_F(DispatchTest, RequestsCheckTheirArgumentsFirst) {
    Create(6, {kOk});
    ObjectHeader* notList = cert_;
    EXPECT_EQ(PathVerifyRequest(nullptr, params_, cert_, key_), kInvalidArgument);
    EXPECT_EQ(PathVerifyRequest(context_, params_, crl_, key_), kInvalidArgument);
    EXPECT_EQ(PathVerifyRequest(context_, params_, cert_, reinterpret_cast<KeyObject*>(cert_)), kInvalidArgument);
    EXPECT_EQ(PathBuildRequest(context_, params_, cert_, reinterpret_cast<ObjectList*>(notList), nullptr, nullptr,
                               nullptr),
              kInvalidArgument);
    CertStatusResult result{};
    EXPECT_EQ(CertStatusRequest(context_, params_, crl_, &result), kInvalidArgument);
    EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace korva::toolkit
