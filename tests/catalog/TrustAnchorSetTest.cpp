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
using Ids = std::vector<uint64_t>;

// Path processing that counts its single-certificate checks: one RSA operation each.
std::atomic<int> g_checks{0};
toolkit::Status CountingVerify(toolkit::ToolkitContext* context, void* handle, const toolkit::PathParams* params,
                               toolkit::ObjectHeader* cert, toolkit::KeyObject* key) {
    ++g_checks;
    return toolkit::PathVerifyCert(context, handle, params, cert, key);
}
toolkit::Status CountingInit(toolkit::ToolkitContext* context, void* params, toolkit::ProviderFunction* funcs, void** handle) {
    toolkit::Status status = toolkit::PathInit(context, params, funcs, handle);
    funcs[toolkit::kSlotPathVerify] = toolkit::AsProviderFunction(&CountingVerify);
    return status;
}
constexpr toolkit::ProviderRecord kProviders[] = {{4, "In-memory database", toolkit::ImdbInit},
                                                  {6, "Cert Path Processing Provider", CountingInit}};

// Unmarked rows over copies of built-in rows (all, or those picked), which a test may damage.
struct Table {
    explicit Table(std::vector<size_t> picks = {}) : rows(picks.empty() ? kRootCount : picks.size()) {
        for (size_t i = 0; i < rows.size(); ++i) {
            const RootRow& source = RootTable()[picks.empty() ? i : picks[i]];
            ders.emplace_back(source.der, source.der + source.length);
            rows[i].id = source.id;
            rows[i].der = ders.back().data();
            rows[i].length = source.length;
        }
    }
    // The ids of the rows whose DER the list's certificates carry, in list order.
    Ids Of(toolkit::ObjectList* list) const {
        Ids ids;
        void* cert = nullptr;
        for (uint32_t i = 0; toolkit::ObjectListGet(list, i, &cert) == toolkit::kOk; ++i) {
            const auto* c = static_cast<toolkit::CertObject*>(cert);
            for (const RootRow& row : rows) {
                if (c->encodingLength == row.length && std::equal(row.der, row.der + row.length, c->encoding)) {
                    ids.push_back(row.id);
                    break;
                }
            }
        }
        return ids;
    }
    std::vector<std::vector<uint8_t>> ders;
    std::vector<RootRow> rows;
};

const Ids kGroup1{1, 2, 3, 4, 5, 6, 7}, kGroup2{301, 302, 303, 304, 305, 306, 307, 308}, kGroup3{901, 903};

class TrustAnchorSetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(context_.Start(kProviders), kCertSuccess); }
    void TearDown() override { ReleaseTrustAnchorSet(set_); }
    toolkit::Status Rebuild(Table& table) {
        ReleaseTrustAnchorSet(set_);
        g_checks = 0;
        return BuildTrustAnchorSet(set_, context_, table.rows);
    }
    void ExpectLists(const Table& table, const Ids& one, const Ids& two, const Ids& three) {
        EXPECT_EQ(table.Of(set_.codeSigningAnchors()), one);
        EXPECT_EQ(table.Of(set_.secondAnchors()), two);
        EXPECT_EQ(table.Of(set_.developmentAnchors()), three);
    }
    CCertContext context_;
    TrustAnchorSet set_;
};

// MD2-, MD5-, SHA-1- and SHA-256-signed roots are all among the 17. Two
// threads build at once; afterwards a build checks only a root added since.
TEST_F(TrustAnchorSetTest, EveryRootVerifiesOnceAndJoinsItsListInTableOrder) {
    Table table;
    CCertContext other;
    TrustAnchorSet otherSet;
    ASSERT_EQ(other.Start(kProviders), kCertSuccess);
    std::thread thread([&] { EXPECT_EQ(BuildTrustAnchorSet(otherSet, other, table.rows), toolkit::kOk); });
    ASSERT_EQ(BuildTrustAnchorSet(set_, context_, table.rows), toolkit::kOk);
    thread.join();
    ExpectLists(table, kGroup1, kGroup2, kGroup3);
    std::swap(set_, otherSet);
    ExpectLists(table, kGroup1, kGroup2, kGroup3);
    ReleaseTrustAnchorSet(otherSet);
    for (const RootRow& row : table.rows) EXPECT_EQ(row.verified.load(), 1u) << row.id;
    toolkit::ObjectList* first = set_.codeSigningAnchors();
    EXPECT_EQ(BuildTrustAnchorSet(set_, context_, table.rows), toolkit::kOk);  // complete: left as it is
    EXPECT_EQ(set_.codeSigningAnchors(), first);
    CExtraRoots extra;
    EXPECT_EQ(extra.Add(4, 1, table.ders[0]), kCertNoMatch);
    EXPECT_EQ(extra.Add(3, 1, {}), kCertNoMatch);
    ASSERT_EQ(extra.Add(3, 1, table.ders[0]), kCertSuccess);
    set_.extraRoots = &extra;
    ASSERT_EQ(Rebuild(table), toolkit::kOk);
    EXPECT_EQ(g_checks, 1);
    ExpectLists(table, kGroup1, kGroup2, {901, 903, 1});
}

// Root 302 (RSA 2048) with a signature that does not match (20) or that
// claims unused bits, which path processing rejects as uncheckable (19).
TEST_F(TrustAnchorSetTest, ARootThatDoesNotVerifyIsLeftOutAndTriedAgain) {
    for (auto [fromEnd, trace] : {std::pair<size_t, uint32_t>{1, 20}, {257, 19}}) {
        Table table;
        table.ders[8][table.ders[8].size() - fromEnd] ^= 1;
        korva::trace::Recorder recorder;
        ASSERT_EQ(Rebuild(table), toolkit::kOk);
        EXPECT_EQ(recorder.events().size(), 1u);
        EXPECT_TRUE(recorder.Has(korva::trace::Source::CertContext, trace)) << trace;
        EXPECT_EQ(table.rows[8].verified.load(), 0u);
        ExpectLists(table, kGroup1, {301, 303, 304, 305, 306, 307, 308}, kGroup3);
        ASSERT_EQ(Rebuild(table), toolkit::kOk);
        EXPECT_EQ(g_checks, 1);
    }
}

// A build that runs out of memory anywhere leaves the set it was given as
// it was; a marked row (the second 1) is added unchecked.
TEST(TrustAnchorSetSweep, OutOfMemoryLeavesThePreviousSetUntouched) {
    korva::test_support::SweepAllocationFailures([](uint64_t failing) {
        CCertContext context;
        TrustAnchorSet set;
        if (context.Start(kProviders) != kCertSuccess || toolkit::ObjectListCreate(&set.lists[0]) != toolkit::kOk) return;
        toolkit::ObjectList* previous = set.lists[0];
        Table table({2, 0, 15, 0});
        table.rows[3].verified = 1;
        toolkit::Status status = BuildTrustAnchorSet(set, context, table.rows);
        EXPECT_TRUE(status == toolkit::kOk ? table.Of(set.lists[0]) == (Ids{3, 1, 1}) : failing != 0 &&
                    status == toolkit::kOutOfMemory && set.lists[0] == previous && set.lists[1] == nullptr);
        ReleaseTrustAnchorSet(set);
    });
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
