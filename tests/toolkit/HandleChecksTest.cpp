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

enum class Kind { Context, Binding, List, Vector, Certificate, Key, Algorithm };

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
        ASSERT_EQ(ObjectVectorCreate(&vector_), kOk);
        cert_ = ObjectNew(sizeof(ObjectHeader), kTagCertificate, nullptr);
        ASSERT_EQ(KeyObjectCreate(&key_), kOk);
        ASSERT_EQ(AlgorithmCreate(&algorithm_), kOk);
        handles_ = {{Kind::Context, context_, sizeof(ToolkitContext)}, {Kind::Binding, binding_, sizeof(ServiceBinding)},
                    {Kind::List, list_, sizeof(ObjectList)},           {Kind::Vector, vector_, sizeof(ObjectVector)},
                    {Kind::Certificate, cert_, sizeof(ObjectHeader)},  {Kind::Key, key_, sizeof(KeyObject)},
                    {Kind::Algorithm, algorithm_, sizeof(AlgorithmObject)}};
    }
    void TearDown() override {
        ServiceUnbind(&binding_);
        ContextFree(&context_);
        ObjectListFree(&list_);
        ObjectVectorFree(&vector_);
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
    ObjectVector* vector_ = nullptr;
    ObjectHeader* cert_ = nullptr;
    KeyObject* key_ = nullptr;
    AlgorithmObject* algorithm_ = nullptr;
    std::vector<Handle> handles_;
};

template <typename T>
T* As(void* handle) {
    return static_cast<T*>(handle);
}

TEST_F(HandleChecks, ObjectListFunctionsAnswer1846) {
    int payload = 1;
    void* out = nullptr;
    uint32_t count = 0;
    const std::pair<const char*, std::function<Status(void*)>> calls[] = {
        {"Count", [&](void* h) { return ObjectListCount(As<ObjectList>(h), &count); }},
        {"Get", [&](void* h) { return ObjectListGet(As<ObjectList>(h), 0, &out); }},
        {"Remove", [&](void* h) { return ObjectListRemove(As<ObjectList>(h), 0); }},
        {"Insert", [&](void* h) { return ObjectListInsert(As<ObjectList>(h), &payload, 0, &kListByReference); }},
        {"Append", [&](void* h) { return ObjectListAppend(As<ObjectList>(h), &payload, nullptr, &kListByReference); }},
        {"Free", [&](void* h) {
             auto* list = As<ObjectList>(h);
             ObjectListFree(&list);
             return list == h ? kInvalidObjectList : kOk;  // ignored: the handle stays
         }},
    };
    for (const auto& [name, call] : calls) ExpectRefused(name, Kind::List, kInvalidObjectList, call);
}

TEST_F(HandleChecks, ObjectVectorFunctionsAnswer1799) {
    ObjectHeader* out = nullptr;
    uint32_t count = 0;
    const std::pair<const char*, std::function<Status(void*)>> calls[] = {
        {"Count", [&](void* h) { return ObjectVectorCount(As<ObjectVector>(h), &count); }},
        {"Get", [&](void* h) { return ObjectVectorGet(As<ObjectVector>(h), 0, &out); }},
        {"Remove", [&](void* h) { return ObjectVectorRemove(As<ObjectVector>(h), 0); }},
        {"Insert", [&](void* h) { return ObjectVectorInsert(As<ObjectVector>(h), cert_, 0); }},
        {"Free", [&](void* h) {
             auto* vector = As<ObjectVector>(h);
             ObjectVectorFree(&vector);
             return vector == h ? kInvalidArgument : kOk;
         }},
    };
    for (const auto& [name, call] : calls) ExpectRefused(name, Kind::Vector, kInvalidArgument, call);
}

TEST_F(HandleChecks, ContextFunctions) {
    uint32_t flags = 0;
    ServiceBinding* binding = nullptr;
    const ProviderRecord record{6, "p", testing::TestProviderInit};
    ExpectRefused("GetFlags", Kind::Context, kNoContextFlags,
                  [&](void* h) { return ContextGetFlags(As<ToolkitContext>(h), &flags); });
    ExpectRefused("ServiceBind", Kind::Context, kInvalidArgument,
                  [&](void* h) { return ServiceBind(As<ToolkitContext>(h), 4, nullptr, 0, &binding); });
    ExpectRefused("ProviderRegister", Kind::Context, kInvalidArgument,
                  [&](void* h) { return ProviderRegister(As<ToolkitContext>(h), &record, &provider_, kAppend); });
    ExpectRefused("ContextFree", Kind::Context, kInvalidArgument, [&](void* h) {
        auto* context = As<ToolkitContext>(h);
        ContextFree(&context);
        return context == h ? kInvalidArgument : kOk;
    });
    ExpectRefused("ProviderUnregister", Kind::Context, kOk, [&](void* h) {
        ProviderUnregister(As<ToolkitContext>(h), 4, "db");
        return kOk;
    });
}

TEST_F(HandleChecks, BindingFunctionsAnswer1799) {
    ExpectRefused("ServiceUnbind", Kind::Binding, kInvalidArgument, [&](void* h) {
        auto* binding = As<ServiceBinding>(h);
        return ServiceUnbind(&binding);
    });
    ExpectRefused("DatabaseBindingCheck", Kind::Binding, kInvalidArgument,
                  [&](void* h) { return DatabaseBindingCheck(As<ServiceBinding>(h)); });
    ServiceBinding** none = nullptr;
    EXPECT_EQ(ServiceUnbind(none), kInvalidArgument);
}

TEST_F(HandleChecks, KeyObjectFunctions) {
    EXPECT_EQ(KeyObjectCheck(nullptr), kOk);  // null is a valid "no key"
    EXPECT_EQ(KeyObjectCheck(key_), kOk);
    for (const Handle& h : handles_) {
        if (h.kind != Kind::Key) {
            EXPECT_EQ(KeyObjectCheck(As<KeyObject>(h.pointer)), kCoreInvalidKey) << int(h.kind);
        }
    }
    ExpectRefused("KeyObjectFree", Kind::Key, kOk, [&](void* h) {
        auto* key = As<KeyObject>(h);
        KeyObjectFree(&key);
        return key == nullptr ? kOk : kCoreInvalidKey;  // only cleared
    });
}

TEST_F(HandleChecks, KeyObjectInformationAnswers530) {
    const void* info = nullptr;
    const uint8_t der[] = {0x30, 0x00};
    const KeyBytes bytes{der, sizeof der};
    const std::pair<const char*, std::function<Status(void*)>> calls[] = {
        {"SetInfo", [&](void* h) { return KeyObjectSetInfo(As<KeyObject>(h), kKeyFormatRsaPublicKey, &bytes); }},
        {"GetInfo", [&](void* h) { return KeyObjectGetInfo(&info, As<KeyObject>(h), kKeyFormatRsaSpki); }},
        {"Copy to", [&](void* h) { return KeyObjectCopy(As<KeyObject>(h), key_); }},
        {"Copy from", [&](void* h) { return KeyObjectCopy(key_, As<KeyObject>(h)); }},
    };
    for (const auto& [name, call] : calls) ExpectRefused(name, Kind::Key, kCoreInvalidKey, call);
}

// The algorithm functions check the algorithm object (516) first, then the
// key (530), then the optional random object (539).
TEST_F(HandleChecks, AlgorithmFunctions) {
    uint8_t buffer[64];
    uint32_t length = 0;
    const AlgorithmInfo* info = nullptr;
    const std::pair<const char*, std::function<Status(void*)>> algorithmCalls[] = {
        {"SetInfo", [&](void* h) { return AlgorithmSetInfo(As<AlgorithmObject>(h), kAlgorithmSha1, nullptr); }},
        {"GetInfo", [&](void* h) { return AlgorithmGetInfo(&info, As<AlgorithmObject>(h), kAlgorithmSha1); }},
        {"DigestInit", [&](void* h) { return DigestInit(As<AlgorithmObject>(h), nullptr, nullptr, nullptr); }},
        {"DigestUpdate", [&](void* h) { return DigestUpdate(As<AlgorithmObject>(h), buffer, 1, nullptr); }},
        {"DigestFinal",
         [&](void* h) { return DigestFinal(As<AlgorithmObject>(h), buffer, &length, sizeof buffer, nullptr); }},
        {"KeyOpInit", [&](void* h) { return KeyOpInit(As<AlgorithmObject>(h), key_, nullptr, nullptr); }},
        {"KeyOpUpdate", [&](void* h) {
             return KeyOpUpdate(As<AlgorithmObject>(h), buffer, &length, sizeof buffer, buffer, 1, nullptr, nullptr);
         }},
        {"KeyOpFinal", [&](void* h) {
             return KeyOpFinal(As<AlgorithmObject>(h), buffer, &length, sizeof buffer, nullptr, nullptr);
         }},
        {"AlgorithmFree", [&](void* h) {
             auto* algorithm = As<AlgorithmObject>(h);
             AlgorithmFree(&algorithm);
             return algorithm == nullptr ? kCoreInvalidAlgorithm : kOk;  // only cleared
         }},
    };
    for (const auto& [name, call] : algorithmCalls) ExpectRefused(name, Kind::Algorithm, kCoreInvalidAlgorithm, call);

    ASSERT_EQ(AlgorithmSetInfo(algorithm_, kAlgorithmRsaPublicPkcs1, nullptr), kOk);
    ExpectRefused("KeyOpInit key", Kind::Key, kCoreInvalidKey,
                  [&](void* h) { return KeyOpInit(algorithm_, As<KeyObject>(h), nullptr, nullptr); });
    ASSERT_EQ(AlgorithmSetInfo(algorithm_, kAlgorithmSha1, nullptr), kOk);
    for (const Handle& h : handles_) {
        if (h.kind != Kind::Key) {
            EXPECT_EQ(DigestInit(algorithm_, As<KeyObject>(h.pointer), nullptr, nullptr), kCoreInvalidKey);
        }
    }
    // The random object is optional, but must be an algorithm object when given.
    for (const Handle& h : handles_) {
        if (h.kind == Kind::Algorithm) continue;
        const auto* random = As<AlgorithmObject>(h.pointer);
        EXPECT_EQ(KeyOpUpdate(algorithm_, buffer, &length, sizeof buffer, buffer, 1, random, nullptr), kCoreInvalidRandom);
        EXPECT_EQ(KeyOpFinal(algorithm_, buffer, &length, sizeof buffer, random, nullptr), kCoreInvalidRandom);
    }
}

}  // namespace
}  // namespace korva::toolkit
