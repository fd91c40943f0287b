// Every public function checks its handle arguments by tag before touching
// them: null and wrong-kind handles get the function's code and change nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/AlgorithmObject.h"
#include "toolkit/ObjectList.h"
#include "toolkit/ServiceBinding.h"

namespace korva::toolkit {
namespace {

enum class Kind { Context, Binding, List, Certificate, Key, Algorithm };

class HandleChecks : public ::testing::Test {
protected:
    struct Handle {
        Kind kind;
        void* pointer;
        size_t size;
    };

    void SetUp() override {
        const ProviderRecord record{4, "db", testing::TestProviderInit};
        void* param = &provider_;
        ASSERT_EQ(ContextCreate(&record, &param, 1, &context_), kOk);
        ASSERT_EQ(ServiceBindOne(context_, 4, "db", &binding_), kOk);
        ASSERT_EQ(ObjectListCreate(&list_), kOk);
        cert_ = ObjectNew(sizeof(ObjectHeader), kTagCertificate, nullptr);
        ASSERT_EQ(KeyObjectCreate(&key_), kOk);
        ASSERT_EQ(AlgorithmCreate(&algorithm_), kOk);
        handles_ = {{Kind::Context, context_, sizeof(ToolkitContext)}, {Kind::Binding, binding_, sizeof(ServiceBinding)},
                    {Kind::List, list_, sizeof(ObjectList)},
                    {Kind::Certificate, cert_, sizeof(ObjectHeader)},  {Kind::Key, key_, sizeof(KeyObject)},
                    {Kind::Algorithm, algorithm_, sizeof(AlgorithmObject)}};
    }
    void TearDown() override {
        ServiceUnbind(&binding_);
        ContextFree(&context_);
        ObjectListFree(&list_);
        ObjectRelease(&cert_);
        KeyObjectFree(&key_);
        AlgorithmFree(&algorithm_);
    }

    // Calls `call` with null and with every handle of another kind than
    // `right`; each must answer `expected` and leave every handle unchanged.
    void ExpectRefused(const char* what, Kind right, Status expected, const std::function<Status(void*)>& call) {
        std::vector<std::vector<unsigned char>> before;
        for (const Handle& h : handles_) {
            auto* bytes = static_cast<unsigned char*>(h.pointer);
            before.emplace_back(bytes, bytes + h.size);
        }
        EXPECT_EQ(call(nullptr), expected) << what << " with null";
        for (const Handle& h : handles_) {
            if (h.kind != right) {
                EXPECT_EQ(call(h.pointer), expected) << what << " with kind " << int(h.kind);
            }
        }
        for (size_t i = 0; i < handles_.size(); ++i) {
            auto* bytes = static_cast<unsigned char*>(handles_[i].pointer);
            EXPECT_EQ(std::memcmp(bytes, before[i].data(), handles_[i].size), 0) << what << " changed a handle";
        }
    }

    testing::TestProvider provider_;
    ToolkitContext* context_ = nullptr;
    ServiceBinding* binding_ = nullptr;
    ObjectList* list_ = nullptr;
    ObjectHeader* cert_ = nullptr;
    KeyObject* key_ = nullptr;
    AlgorithmObject* algorithm_ = nullptr;
    std::vector<Handle> handles_;
};

template <typename T>
T* As(void* handle) {
    return static_cast<T*>(handle);
}

// A free function given another kind of handle leaves that handle alone.
template <typename T, void (*Free)(T**)>
Status FreeKeeps(void* h) {
    auto* handle = As<T>(h);
    Free(&handle);
    return handle == h ? kInvalidArgument : kOk;
}

// A free function that only clears a handle of another kind.
template <typename T, void (*Free)(T**)>
Status FreeClears(void* h) {
    auto* handle = As<T>(h);
    Free(&handle);
    return handle == nullptr ? kOk : kInvalidArgument;
}

TEST_F(HandleChecks, EveryFunctionRefusesNullAndOtherKinds) {
    int payload = 1;
    uint32_t count = 0;
    ServiceBinding* binding = nullptr;
    const uint8_t der[] = {0x30, 0x00};
    const KeyBytes bytes{der, sizeof der};
    uint8_t buffer[64];
    uint32_t length = 0;
    struct Row {
        const char* name;
        Kind right;
        Status expected;
        std::function<Status(void*)> call;
        uint32_t algorithm = 0;  // set on algorithm_ first, when not 0
    };
    const Row rows[] = {
        {"ListCount", Kind::List, kInvalidObjectList, [&](void* h) { return ObjectListCount(As<ObjectList>(h), &count); }},
        {"ListAppend", Kind::List, kInvalidObjectList,
         [&](void* h) { return ObjectListAppend(As<ObjectList>(h), &payload, nullptr, &kListByReference); }},
        {"ListFree", Kind::List, kInvalidArgument, FreeKeeps<ObjectList, ObjectListFree>},
        {"GetFlags", Kind::Context, kNoContextFlags, [&](void* h) { return ContextGetFlags(As<ToolkitContext>(h), &count); }},
        {"ServiceBind", Kind::Context, kInvalidArgument,
         [&](void* h) { return ServiceBind(As<ToolkitContext>(h), 4, nullptr, 0, &binding); }},
        {"ContextFree", Kind::Context, kInvalidArgument, FreeKeeps<ToolkitContext, ContextFree>},
        {"ServiceUnbind", Kind::Binding, kInvalidArgument, [&](void* h) {
             auto* bound = As<ServiceBinding>(h);
             return ServiceUnbind(&bound);
         }},
        {"DatabaseBindingCheck", Kind::Binding, kInvalidArgument,
         [&](void* h) { return DatabaseBindingCheck(As<ServiceBinding>(h)); }},
        {"KeyFree", Kind::Key, kOk, FreeClears<KeyObject, KeyObjectFree>},
        {"KeySetInfo", Kind::Key, kCoreInvalidKey,
         [&](void* h) { return KeyObjectSetInfo(As<KeyObject>(h), kKeyFormatRsaPublicKey, &bytes); }},
        {"KeyCopy from", Kind::Key, kCoreInvalidKey, [&](void* h) { return KeyObjectCopy(key_, As<KeyObject>(h)); }},
        // The algorithm functions check the algorithm object first.
        {"AlgorithmSetInfo", Kind::Algorithm, kCoreInvalidAlgorithm,
         [&](void* h) { return AlgorithmSetInfo(As<AlgorithmObject>(h), kAlgorithmSha1, nullptr); }},
        {"DigestInit", Kind::Algorithm, kCoreInvalidAlgorithm,
         [&](void* h) { return DigestInit(As<AlgorithmObject>(h), nullptr, nullptr, nullptr); }},
        {"KeyOpUpdate", Kind::Algorithm, kCoreInvalidAlgorithm,
         [&](void* h) { return KeyOpUpdate(As<AlgorithmObject>(h), buffer, &length, sizeof buffer, buffer, 1, nullptr, nullptr); }},
        {"AlgorithmFree", Kind::Algorithm, kOk, FreeClears<AlgorithmObject, AlgorithmFree>},
        // Then the key, then the optional random object.
        {"KeyOpInit key", Kind::Key, kCoreInvalidKey,
         [&](void* h) { return KeyOpInit(algorithm_, As<KeyObject>(h), nullptr, nullptr); }, kAlgorithmRsaPublicPkcs1},
        {"KeyOpFinal random", Kind::Algorithm, kCoreInvalidRandom, [&](void* h) {
             return h == nullptr ? kCoreInvalidRandom
                                 : KeyOpFinal(algorithm_, buffer, &length, sizeof buffer, As<AlgorithmObject>(h), nullptr);
         }},
    };
    for (const Row& row : rows) {
        if (row.algorithm != 0) {
            ASSERT_EQ(AlgorithmSetInfo(algorithm_, row.algorithm, nullptr), kOk);
        }
        ExpectRefused(row.name, row.right, row.expected, row.call);
    }
    ServiceBinding** none = nullptr;
    EXPECT_EQ(ServiceUnbind(none), kInvalidArgument);
    EXPECT_EQ(KeyObjectCheck(nullptr), kOk);
    EXPECT_EQ(KeyObjectCheck(key_), kOk);
}

}  // namespace
}  // namespace korva::toolkit
