#include <gtest/gtest.h>

#include "tests/common/AllocationFaults.h"
#include "tests/toolkit/ToolkitTestSupport.h"
#include "toolkit/ObjectList.h"

namespace korva::toolkit {
namespace {

int g_destroyed = 0;
void CountDestroy(ObjectHeader*) {
    ++g_destroyed;
}
constexpr ObjectMethods kCounted{CountDestroy};

TEST(Objects, ReferenceCountingAndRelease) {
    g_destroyed = 0;
    ObjectHeader* cert = ObjectNew(sizeof(ObjectHeader) + 16, kTagCertificate, &kCounted);
    ASSERT_NE(cert, nullptr);
    EXPECT_EQ(cert->references, 1u);
    EXPECT_EQ(cert->tag, kTagCertificate);

    ObjectHeader* second = nullptr;
    EXPECT_EQ(ObjectAddRef(cert, &second), kOk);
    EXPECT_EQ(second, cert);
    EXPECT_EQ(cert->references, 2u);
    ObjectRelease(&second);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(g_destroyed, 0);
    ObjectRelease(&cert);
    EXPECT_EQ(g_destroyed, 1);
    // Releasing twice is harmless: the first release cleared the handle.
    ObjectRelease(&cert);
    ObjectRelease(static_cast<ObjectHeader**>(nullptr));
    EXPECT_EQ(g_destroyed, 1);
}

TEST(Objects, AddRefSharesOnlyCertificatesAndCrls) {
    ObjectHeader* out = reinterpret_cast<ObjectHeader*>(&out);
    EXPECT_EQ(ObjectAddRef(nullptr, &out), kOk);
    EXPECT_EQ(out, nullptr);
    ObjectHeader* crl = ObjectNew(sizeof(ObjectHeader), kTagCrl, nullptr);
    EXPECT_EQ(ObjectAddRef(crl, nullptr), kInvalidArgument);
    EXPECT_EQ(ObjectAddRef(crl, &out), kOk);
    ObjectRelease(&out);
    ObjectList* list = nullptr;
    ASSERT_EQ(ObjectListCreate(&list), kOk);
    EXPECT_EQ(ObjectAddRef(list, &out), kWrongObjectKind);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(list->references, 1u);
    ObjectListFree(&list);
    ObjectRelease(&crl);
}

// A method pair over plain ints, counting live payloads; copying a negative
// value fails with 1795.
int g_livePayloads = 0;
Status CopyInt(void* source, void** payload) {
    if (*static_cast<int*>(source) < 0) return kDataMissing;
    *payload = new int(*static_cast<int*>(source));
    ++g_livePayloads;
    return kOk;
}
void DestroyInt(void* payload) {
    delete static_cast<int*>(payload);
    --g_livePayloads;
}
const ObjectListMethods kIntCopies{CopyInt, DestroyInt};

class ObjectListTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_livePayloads = 0;
        ASSERT_EQ(ObjectListCreate(&list_), kOk);
    }
    void TearDown() override {
        ObjectListFree(&list_);
        EXPECT_EQ(g_livePayloads, 0);
    }
    std::vector<int> Contents() {
        uint32_t count = 0;
        EXPECT_EQ(ObjectListCount(list_, &count), kOk);
        std::vector<int> values;
        for (uint32_t i = 0; i < count; ++i) {
            void* payload = nullptr;
            EXPECT_EQ(ObjectListGet(list_, i, &payload), kOk);
            values.push_back(*static_cast<int*>(payload));
        }
        return values;
    }
    ObjectList* list_ = nullptr;
};

TEST_F(ObjectListTest, AppendInsertRemoveKeepOrder) {
    uint32_t index = 99;
    for (int v : {10, 30}) {
        ASSERT_EQ(ObjectListAppend(list_, &v, &index, &kIntCopies), kOk);
    }
    EXPECT_EQ(index, 1u);
    int twenty = 20;
    int zero = 0;
    int forty = 40;
    ASSERT_EQ(ObjectListInsert(list_, &twenty, 1, &kIntCopies), kOk);
    ASSERT_EQ(ObjectListInsert(list_, &zero, 0, &kIntCopies), kOk);
    ASSERT_EQ(ObjectListInsert(list_, &forty, 4, &kIntCopies), kOk);  // position == count appends
    ASSERT_EQ(ObjectListAppend(list_, &forty, nullptr, &kIntCopies), kOk);
    EXPECT_EQ(Contents(), (std::vector<int>{0, 10, 20, 30, 40, 40}));
    EXPECT_EQ(g_livePayloads, 6);

    ASSERT_EQ(ObjectListRemove(list_, 2), kOk);
    ASSERT_EQ(ObjectListRemove(list_, 4), kOk);
    EXPECT_EQ(Contents(), (std::vector<int>{0, 10, 30, 40}));
    EXPECT_EQ(g_livePayloads, 4);
    EXPECT_EQ(ObjectListCount(list_, nullptr), kOk);
}

TEST_F(ObjectListTest, IndexAndArgumentFailuresChangeNothing) {
    int one = 1;
    ASSERT_EQ(ObjectListAppend(list_, &one, nullptr, &kIntCopies), kOk);
    void* payload = nullptr;
    EXPECT_EQ(ObjectListGet(list_, 1, &payload), kIndexOutOfRange);  // index == count
    EXPECT_EQ(ObjectListGet(list_, 0, nullptr), kInvalidArgument);
    EXPECT_EQ(ObjectListRemove(list_, 1), kIndexOutOfRange);
    EXPECT_EQ(ObjectListInsert(list_, &one, 2, &kIntCopies), kIndexOutOfRange);
    EXPECT_EQ(ObjectListInsert(list_, nullptr, 0, &kIntCopies), kInvalidArgument);
    EXPECT_EQ(ObjectListAppend(list_, nullptr, nullptr, &kIntCopies), kInputMissing);

    const ObjectListMethods noCopy{nullptr, DestroyInt};
    const ObjectListMethods noDestroy{CopyInt, nullptr};
    for (const ObjectListMethods* methods : {&noCopy, &noDestroy, static_cast<const ObjectListMethods*>(nullptr)}) {
        EXPECT_EQ(ObjectListAppend(list_, &one, nullptr, methods), kMethodsIncomplete);
        EXPECT_EQ(ObjectListInsert(list_, &one, 0, methods), kMethodsIncomplete);
    }
    // A copy failure is returned as it is and leaves nothing behind.
    int negative = -1;
    uint32_t index = 77;
    EXPECT_EQ(ObjectListAppend(list_, &negative, &index, &kIntCopies), kDataMissing);
    EXPECT_EQ(index, 77u);
    EXPECT_EQ(Contents(), std::vector<int>{1});
    EXPECT_EQ(g_livePayloads, 1);
}

// Every allocation of list work is made to fail in turn: each failure must
// come out as 1792, and the list keeps what it held.
TEST(AllocationFailures, ListOperationsFailCleanlyAndKeepTheirElements) {
    ObjectHeader* cert = ObjectNew(sizeof(ObjectHeader), kTagCertificate, nullptr);
    constexpr uint32_t kElements = 17;  // crosses two growth steps
    uint64_t allocations = test_support::SweepAllocationFailures([&](uint64_t failing) {
        uint32_t stored = 0;
        uint32_t count = 0;
        ObjectList* list = nullptr;
        Status status = ObjectListCreate(&list);
        while (status == kOk && stored < kElements) {
            // Alternate the two ways in, so both meet a failing growth.
            status = stored % 2 == 0 ? ObjectListAppend(list, cert, nullptr, &kListByReference)
                                     : ObjectListInsert(list, cert, 0, &kListByReference);
            if (status == kOk) ++stored;
        }
        if (list != nullptr) ObjectListCount(list, &count);
        ObjectListFree(&list);
        EXPECT_EQ(status, failing == 0 ? kOk : kOutOfMemory);
        EXPECT_EQ(count, stored);  // a failed insertion loses nothing
        EXPECT_EQ(cert->references, 1u);
    });
    // The list, a box per element, and three array growths.
    EXPECT_EQ(allocations, 1 + kElements + 3);
    ObjectRelease(&cert);
}

}  // namespace
}  // namespace korva::toolkit
