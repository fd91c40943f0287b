#include <gtest/gtest.h>

#include "runtime/MemoryService.h"
#include "tests/common/AllocationFaults.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/ServiceBinding.h"

namespace korva::toolkit {
namespace {

namespace mem = TarnVerifyTrustDriver;
using test_support::SweepAllocationFailures;
using testing::TestProvider;
using testing::TestProviderInit;

// Providers of the given types, each labelled and logging to one log.
class Providers {
public:
    explicit Providers(std::initializer_list<std::pair<uint32_t, const char*>> specs) {
        providers_.reserve(specs.size());
        for (auto [type, name] : specs) {
            TestProvider& provider = providers_.emplace_back();
            provider.log = &log;
            provider.label = name;
            records_.push_back({type, name, TestProviderInit});
        }
        for (TestProvider& provider : providers_) params_.push_back(&provider);
    }
    Status Create(ToolkitContext** context) {
        return ContextCreate(records_.data(), params_.data(), static_cast<uint32_t>(records_.size()), context);
    }
    TestProvider& operator[](size_t i) { return providers_[i]; }

    std::vector<std::string> log;

private:
    std::vector<TestProvider> providers_;
    std::vector<ProviderRecord> records_;
    std::vector<void*> params_;
};

std::vector<std::string> ChainNames(const ToolkitContext* context, uint32_t serviceClass) {
    std::vector<std::string> names;
    for (const ProviderEntry* e = context->providers[serviceClass]; e != nullptr; e = e->next) names.push_back(e->name);
    return names;
}

TEST(ContextCreate, RegistersByClassWhateverTheArrayOrder) {
    Providers providers({{6, "Cert Path Processing Provider"}, {4, "In-memory database"}, {8, "second db"},
                         {1, "messages"}, {4, "third db"}});
    ToolkitContext* context = nullptr;
    ASSERT_EQ(providers.Create(&context), kOk);
    EXPECT_EQ(providers.log, (std::vector<std::string>{"init messages", "init In-memory database",
                                                       "init second db", "init third db",
                                                       "init Cert Path Processing Provider"}));
    // Type 8 joins the class-4 chain in array order.
    EXPECT_EQ(ChainNames(context, kClassDatabase),
              (std::vector<std::string>{"In-memory database", "second db", "third db"}));
    EXPECT_NE(context->extensionTypes, nullptr);
    EXPECT_TRUE(ContextModeEnabled());

    // Freeing goes from class 7 down to 0, head first within a class.
    providers.log.clear();
    ContextFree(&context);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(providers.log, (std::vector<std::string>{
                                 "release Cert Path Processing Provider as Cert Path Processing Provider",
                                 "release In-memory database as In-memory database", "release second db as second db",
                                 "release third db as third db", "release messages as messages"}));
    ContextFree(&context);  // a cleared handle is ignored
}

TEST(ContextCreate, RefusesSecondProvidersWith1861) {
    struct Case {
        uint32_t firstType;
        const char* firstName;
        uint32_t secondType;
        const char* secondName;
        Status expected;
    };
    const Case cases[] = {
        {0, "a", 0, "b", kProviderRegistered},   // class 0 takes one provider
        {4, "db", 8, "db", kProviderRegistered},  // same class, same name
        {6, "p", 6, "P", kOk},                    // names compare byte for byte
        {4, "db", 6, "db", kOk},                  // same name, other class
    };
    for (const Case& c : cases) {
        Providers providers({{c.firstType, c.firstName}, {c.secondType, c.secondName}});
        ToolkitContext* context = reinterpret_cast<ToolkitContext*>(&providers);
        EXPECT_EQ(providers.Create(&context), c.expected) << c.firstType << c.firstName << c.secondType << c.secondName;
        if (c.expected != kOk) {
            EXPECT_EQ(context, nullptr);
            // The first provider was registered and is released with the context.
            EXPECT_EQ(providers.log.back(), std::string("release ") + c.firstName + " as " + c.firstName);
        }
        ContextFree(&context);
    }
}

TEST(ContextCreate, InitFailureFreesWhatWasRegistered) {
    Providers providers({{6, "path"}, {4, "db"}, {5, "status"}});
    providers[0].initResult = 1792;
    ToolkitContext* context = nullptr;
    EXPECT_EQ(providers.Create(&context), 1792u);
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(providers.log, (std::vector<std::string>{"init db", "init status", "init path", "release status as status",
                                                       "release db as db"}));
}

TEST(ContextCreate, RejectsBadRecordsWithoutSideEffectsAndAnEmptyOneKeepsFlags) {
    ToolkitContext* context = nullptr;
    EXPECT_EQ(ContextCreate(nullptr, nullptr, 0, nullptr), kInvalidArgument);
    EXPECT_EQ(ContextCreate(nullptr, nullptr, 1, &context), kInvalidArgument);

    std::vector<std::string> log;
    TestProvider provider;
    provider.log = &log;
    const ProviderRecord bad[] = {
        {9, "type nine", TestProviderInit}, {4, "", TestProviderInit}, {4, nullptr, TestProviderInit}, {4, "db", nullptr}};
    for (const ProviderRecord& record : bad) {
        void* param = &provider;
        EXPECT_EQ(ContextCreate(&record, &param, 1, &context), kInvalidArgument);
        EXPECT_EQ(context, nullptr);
    }
    EXPECT_TRUE(log.empty());

    // No records at all is a valid, empty context.
    ASSERT_EQ(ContextCreate(nullptr, nullptr, 0, &context), kOk);
    context->flags = 0xA;
    uint32_t flags = 0;
    EXPECT_EQ(ContextGetFlags(context, &flags), kOk);
    EXPECT_EQ(flags, 0xAu);
    EXPECT_EQ(ContextGetFlags(context, nullptr), kInvalidArgument);
    ContextFree(&context);
}

class ServiceBindTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(providers_.Create(&context_), kOk); }
    void TearDown() override { ContextFree(&context_); }

    // The names a binding selected, or the failure code as text.
    std::vector<std::string> Bound(uint32_t type, std::vector<const char*> names, uint32_t count) {
        ServiceBinding* binding = reinterpret_cast<ServiceBinding*>(&providers_);
        Status status = ServiceBind(context_, type, names.empty() ? nullptr : names.data(), count, &binding);
        if (status != kOk) {
            EXPECT_EQ(binding, nullptr);
            return {std::to_string(status)};
        }
        std::vector<std::string> selected;
        for (const BindingNode* node = binding->first; node != nullptr; node = node->next) {
            selected.push_back(node->provider->name);
        }
        EXPECT_EQ(binding->serviceClass, ServiceClassOf(type));
        EXPECT_EQ(ServiceUnbind(&binding), kOk);
        EXPECT_EQ(binding, nullptr);
        return selected;
    }

    Providers providers_{{{4, "In-memory Database"}, {8, "archive"}, {4, "cache"}, {6, "path"}}};
    ToolkitContext* context_ = nullptr;
};

using Names = std::vector<std::string>;

TEST_F(ServiceBindTest, SelectsByNameInTheOrderGivenOrByPosition) {
    struct Case {
        uint32_t type;
        std::vector<const char*> names;  // none: the first `count` of the class
        uint32_t count;
        Names selected;  // or the failure code
    };
    const Case cases[] = {
        {8, {"archive"}, 1, {"archive"}},  // type 8 binds class 4
        // The walk stops at the first name without a provider.
        {4, {"cache", "nobody", "archive"}, 3, {"cache"}},
        {4, {"in-memory database"}, 1, {"1860"}},
        {4, {}, 2, {"In-memory Database", "archive"}},
        {5, {}, 0, {"1860"}},
    };
    for (const Case& c : cases) EXPECT_EQ(Bound(c.type, c.names, c.count), c.selected) << c.type << " " << c.count;
}

TEST_F(ServiceBindTest, BindOneByNameOrFirst) {
    ServiceBinding* binding = nullptr;
    ASSERT_EQ(ServiceBindOne(context_, 4, "In-memory Database", &binding), kOk);
    EXPECT_EQ(DatabaseBindingCheck(binding), kOk);
    ServiceUnbind(&binding);
    ASSERT_EQ(ServiceBindOne(context_, 6, nullptr, &binding), kOk);
    EXPECT_STREQ(binding->first->provider->name, "path");
    EXPECT_EQ(binding->first->next, nullptr);
    // A database request refuses a binding of another class.
    EXPECT_EQ(DatabaseBindingCheck(binding), kInvalidArgument);
    ServiceUnbind(&binding);
    EXPECT_EQ(ServiceBindOne(context_, 4, "missing", &binding), kNoProvider);
    EXPECT_EQ(binding, nullptr);
    EXPECT_EQ(ServiceBindOne(context_, 9, nullptr, &binding), kInvalidArgument);
}

// Every allocation of context creation and binding is made to fail in turn:
// each failure must come out as 1792 with nothing left allocated.
// A provider that keeps a buffer from the memory service as its handle, so a
// provider not released on a failed creation shows up as a live block.
Status BufferProviderInit(ToolkitContext*, void*, ProviderFunction* table, void** handle) {
    *handle = mem::AllocateBuffer(32);
    if (*handle == nullptr) return kOutOfMemory;
    table[kSlotReleaseHandle] = AsProviderFunction(+[](ToolkitContext*, void* h, const char*) { mem::FreeBuffer(h); });
    return kOk;
}

// A failing run must report out of memory and leave the out handle cleared.
void ExpectOutOfMemoryAndClearedHandle(uint64_t failing, Status status, bool cleared) {
    if (failing == 0) return;
    EXPECT_EQ(status, kOutOfMemory);
    EXPECT_TRUE(cleared);
}

TEST(AllocationFailures, ContextCreationFailsCleanly) {
    const ProviderRecord records[] = {{6, "Cert Path Processing Provider", BufferProviderInit},
                                      {4, "In-memory database", BufferProviderInit},
                                      {1, "messages", BufferProviderInit}};
    uint64_t allocations = SweepAllocationFailures([&](uint64_t failing) {
        uint32_t stale = 0;  // not a context: freeing it is a no-op
        auto* context = reinterpret_cast<ToolkitContext*>(&stale);
        Status status = ContextCreate(records, nullptr, 3, &context);
        bool cleared = context == nullptr;
        ContextFree(&context);
        ExpectOutOfMemoryAndClearedHandle(failing, status, cleared);
    });
    // Context, three entries, three provider handles, the extension registry.
    EXPECT_EQ(allocations, 8u);
}

TEST(AllocationFailures, BindingFailsCleanly) {
    const ProviderRecord records[] = {{4, "a", BufferProviderInit}, {4, "b", BufferProviderInit}};
    ToolkitContext* context = nullptr;
    ASSERT_EQ(ContextCreate(records, nullptr, 2, &context), kOk);
    uint64_t allocations = SweepAllocationFailures([&](uint64_t failing) {
        ServiceBinding* binding = nullptr;
        Status status = ServiceBind(context, 4, nullptr, 0, &binding);
        bool cleared = binding == nullptr;
        ServiceUnbind(&binding);
        ExpectOutOfMemoryAndClearedHandle(failing, status, cleared);
    });
    EXPECT_EQ(allocations, 3u);  // the binding and one node per provider
    ContextFree(&context);
}

}  // namespace
}  // namespace korva::toolkit
