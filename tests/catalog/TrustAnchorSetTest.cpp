#include "catalog/TrustAnchorSet.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "catalog/CertContext.h"
#include "catalog/CertResult.h"
#include "platform/TraceRecorder.h"
#include "tests/common/AllocationFaults.h"
#include "toolkit/Certificate.h"
#include "toolkit/Dispatch.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathProvider.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace toolkit = korva::toolkit;
using korva::trace::Source;

// Path processing that counts the single-certificate checks it makes, each
// one RSA operation.
std::atomic<int> g_verifications{0};
toolkit::Status CountingVerify(toolkit::ToolkitContext* context, void* handle, const toolkit::PathParams* params,
                               toolkit::ObjectHeader* cert, toolkit::KeyObject* key) {
    ++g_verifications;
    return toolkit::PathVerifyCert(context, handle, params, cert, key);
}
toolkit::Status CountingInit(toolkit::ToolkitContext* context, void* params, toolkit::ProviderFunction* funcs,
                             void** handle) {
    toolkit::Status status = toolkit::PathInit(context, params, funcs, handle);
    funcs[toolkit::kSlotPathVerify] = toolkit::AsProviderFunction(&CountingVerify);
    return status;
}
constexpr toolkit::ProviderRecord kProviders[] = {{4, "In-memory database", toolkit::ImdbInit},
                                                  {6, "Cert Path Processing Provider", CountingInit}};

// Unmarked rows over copies of the built-in DER, which a test may damage.
struct TableCopy {
    explicit TableCopy(std::initializer_list<size_t> picks = {}) : rows(picks.size() ? picks.size() : kRootCount) {
        std::vector<size_t> indexes(picks);
        for (size_t i = 0; indexes.size() < rows.size(); ++i) indexes.push_back(i);
        for (size_t i = 0; i < rows.size(); ++i) {
            const RootRow& source = RootTable()[indexes[i]];
            ders.emplace_back(source.der, source.der + source.length);
            rows[i].id = source.id;
            rows[i].der = ders.back().data();
            rows[i].length = source.length;
        }
    }
    std::vector<std::vector<uint8_t>> ders;
    std::vector<RootRow> rows;
};

std::vector<uint64_t> Ids(toolkit::ObjectList* list, std::span<RootRow> table) {
    std::vector<uint64_t> ids;
    uint32_t count = 0;
    toolkit::ObjectListCount(list, &count);
    for (uint32_t i = 0; i < count; ++i) {
        void* cert = nullptr;
        toolkit::ObjectListGet(list, i, &cert);
        auto* c = static_cast<toolkit::CertObject*>(cert);
        for (const RootRow& row : table) {
            if (c->encodingLength == row.length && std::equal(row.der, row.der + row.length, c->encoding)) {
                ids.push_back(row.id);
                break;
            }
        }
    }
    return ids;
}

class TrustAnchorSetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(context_.Start(kProviders), kCertSuccess); }
    void TearDown() override { ReleaseTrustAnchorSet(set_); }
    toolkit::Status Build(TableCopy& table) {
        g_verifications = 0;
        return BuildTrustAnchorSet(set_, context_, table.rows);
    }
    void ExpectLists(std::span<RootRow> table, std::vector<uint64_t> one, std::vector<uint64_t> two,
                     std::vector<uint64_t> three) {
        EXPECT_EQ(Ids(set_.codeSigningAnchors(), table), one);
        EXPECT_EQ(Ids(set_.secondAnchors(), table), two);
        EXPECT_EQ(Ids(set_.developmentAnchors(), table), three);
    }
    CCertContext context_;
    TrustAnchorSet set_;
};

const std::vector<uint64_t> kGroup1{1, 2, 3, 4, 5, 6, 7}, kGroup2{301, 302, 303, 304, 305, 306, 307, 308},
    kGroup3{901, 903};

// MD2, MD5, SHA-1 and SHA-256 signatures are all among the built-in roots.
TEST_F(TrustAnchorSetTest, EveryRootVerifiesOnceAndJoinsItsListInTableOrder) {
    TableCopy table;
    ASSERT_EQ(Build(table), toolkit::kOk);
    EXPECT_EQ(g_verifications, 17);
    ExpectLists(table.rows, kGroup1, kGroup2, kGroup3);
    for (const RootRow& row : table.rows) EXPECT_EQ(row.verified.load(), 1u) << row.id;
    toolkit::ObjectList* first = set_.codeSigningAnchors();
    ASSERT_EQ(Build(table), toolkit::kOk);  // complete: nothing happens
    EXPECT_EQ(set_.codeSigningAnchors(), first);
    ReleaseTrustAnchorSet(set_);
    ASSERT_EQ(Build(table), toolkit::kOk);
    EXPECT_EQ(g_verifications, 0);
    ExpectLists(table.rows, kGroup1, kGroup2, kGroup3);
}

// Root 302 (RSA 2048) damaged: a signature that does not match, and one
// whose BIT STRING claims unused bits, which path processing rejects as
// uncheckable.
TEST_F(TrustAnchorSetTest, ARootThatDoesNotVerifyIsLeftOutAndTriedAgain) {
    const struct {
        size_t fromEnd;
        uint8_t value;  // 0: the octet inverted
        uint32_t trace;
    } cases[] = {{1, 0x00, 20}, {257, 0x01, 19}};
    for (const auto& damage : cases) {
        SCOPED_TRACE(damage.trace);
        TableCopy table;
        uint8_t& octet = table.ders[8][table.ders[8].size() - damage.fromEnd];
        octet = damage.value != 0 ? damage.value : uint8_t(~octet);
        korva::trace::Recorder recorder;
        ReleaseTrustAnchorSet(set_);
        ASSERT_EQ(Build(table), toolkit::kOk);
        EXPECT_EQ(recorder.Count(Source::CertContext, damage.trace), 1u);
        EXPECT_EQ(recorder.Count(Source::CertContext, 39 - damage.trace), 0u);
        EXPECT_EQ(table.rows[8].verified.load(), 0u);
        ExpectLists(table.rows, kGroup1, {301, 303, 304, 305, 306, 307, 308}, kGroup3);
        ReleaseTrustAnchorSet(set_);
        ASSERT_EQ(Build(table), toolkit::kOk);
        EXPECT_EQ(g_verifications, 1);
    }
}

TEST_F(TrustAnchorSetTest, ExtraRootsJoinTheirGroupAfterTheBuiltInOnes) {
    CExtraRoots extra;
    TableCopy table;
    EXPECT_EQ(extra.Add(0, 1, table.ders[0]), kCertNoMatch);
    EXPECT_EQ(extra.Add(3, 1, {}), kCertNoMatch);
    ASSERT_EQ(extra.Add(3, 1, table.ders[0]), kCertSuccess);
    set_.extraRoots = &extra;
    ASSERT_EQ(Build(table), toolkit::kOk);
    EXPECT_EQ(g_verifications, 18);
    ExpectLists(table.rows, kGroup1, kGroup2, {901, 903, 1});
}

TEST_F(TrustAnchorSetTest, TwoThreadsBuildingAtOnceEachGetEveryRoot) {
    TableCopy table;
    CCertContext other;
    ASSERT_EQ(other.Start(kProviders), kCertSuccess);
    TrustAnchorSet otherSet;
    std::thread thread([&] { EXPECT_EQ(BuildTrustAnchorSet(otherSet, other, table.rows), toolkit::kOk); });
    ASSERT_EQ(BuildTrustAnchorSet(set_, context_, table.rows), toolkit::kOk);
    thread.join();
    ExpectLists(table.rows, kGroup1, kGroup2, kGroup3);
    std::swap(set_, otherSet);
    ExpectLists(table.rows, kGroup1, kGroup2, kGroup3);
    ReleaseTrustAnchorSet(otherSet);
    for (const RootRow& row : table.rows) EXPECT_EQ(row.verified.load(), 1u) << row.id;
}

// A build that runs out of memory anywhere leaves the set it was given as
// it was; a marked row (the second 1) is added unchecked.
TEST(TrustAnchorSetSweep, OutOfMemoryLeavesThePreviousSetUntouched) {
    uint64_t allocations = korva::test_support::SweepAllocationFailures([](uint64_t failing) {
        CCertContext context;
        if (context.Start(kProviders) != kCertSuccess) return;
        TableCopy table{2, 0, 15, 0};
        table.rows[3].verified = 1;
        TrustAnchorSet set;
        if (toolkit::ObjectListCreate(&set.lists[0]) != toolkit::kOk) return;
        toolkit::ObjectList* previous = set.lists[0];
        toolkit::Status status = BuildTrustAnchorSet(set, context, table.rows);
        EXPECT_TRUE(status == toolkit::kOk || failing != 0);
        if (status != toolkit::kOk) {
            EXPECT_EQ(status, toolkit::kOutOfMemory);
            EXPECT_EQ(set.lists[0], previous);
            EXPECT_EQ(set.lists[1], nullptr);
        } else {
            EXPECT_EQ(Ids(set.codeSigningAnchors(), table.rows), (std::vector<uint64_t>{3, 1, 1}));
        }
        ReleaseTrustAnchorSet(set);
    });
    EXPECT_GT(allocations, 10u);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
