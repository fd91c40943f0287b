#include "catalog/ParseCatalogFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "catalog/ParseAsn1.h"
#include "platform/Trace.h"
#include "tests/catalog/CatalogTestSupport.h"
#include "tests/catalog/SmallStackThread.h"
#include "tests/common/AllocationFaults.h"
#include "tests/common/TempFiles.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::catalog_test::RecordingCallback;
using korva::trace::Source;

TEST(ParseCatalogFile, ReportsFileLevelFailures) {
    korva::test_support::TempDirectory dir;
    const std::wstring empty = dir.File(L"empty.cat");
    const std::wstring oneByte = dir.File(L"one.cat");
    korva::test_support::WriteBytes(empty, {});
    korva::test_support::WriteBytes(oneByte, {0x30});
    struct Row {
        std::wstring path;
        uint32_t beginAnswer;
        uint32_t result;
        uint32_t traceNumber;
    };
    const Row rows[] = {
        {empty, 0, 5, 12},
        {oneByte, 0, 11, 28},
        {dir.File(L"missing.cat"), 0, 8, 10},
        {dir.File(L"missing.cat"), 1, 22, 0},  // refused before the file is opened
    };
    for (const Row& row : rows) {
        korva::trace::Recorder recorder;
        RecordingCallback callback;
        callback.beginAnswer = row.beginAnswer;
        CatalogParseRecord record;
        record.value = 7;
        EXPECT_EQ(ParseCatalogFile(&record, nullptr, row.path.c_str(), &callback), row.result);
        EXPECT_EQ(record.value, 0u);
        if (row.traceNumber != 0) {
            EXPECT_TRUE(recorder.Has(Source::Asn1, row.traceNumber)) << row.result;
        }
    }
}

TEST(ParseCatalogFile, WalksEveryRealCatalog) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    for (const auto& path : catalogs) {
        EXPECT_EQ(ParseCatalogFile(nullptr, nullptr, path.wstring().c_str(), nullptr), kWalkSuccess) << path;
    }
}

TEST(ParseCatalogFile, EveryAllocationFailureGivesAResultAndLeaksNothing) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    auto smallest = *std::min_element(catalogs.begin(), catalogs.end(), [](const auto& a, const auto& b) {
        return std::filesystem::file_size(a) < std::filesystem::file_size(b);
    });
    const std::wstring path = smallest.wstring();
    uint64_t allocations = korva::test_support::SweepAllocationFailures([&](uint64_t failing) {
        RecordingCallback callback;
        uint32_t result = ParseCatalogFile(nullptr, nullptr, path.c_str(), &callback);
        EXPECT_EQ(result, failing == 0 ? kWalkSuccess : kWalkOutOfMemory) << failing;
    });
    EXPECT_GT(allocations, 10u);
}

TEST(ParseAsn1, DeepNestingNeedsNoMachineStack) {
    // 100,000 definite levels and 1,000 indefinite ones (each indefinite
    // header measures everything inside it), on a 64 KiB stack.
    const korva::catalog_test::Bytes definite = korva::catalog_test::NestedSequences(100000);
    korva::catalog_test::Bytes indefinite;
    for (int i = 0; i < 1000; ++i) indefinite.insert(indefinite.end(), {0x30, 0x80});
    indefinite.resize(indefinite.size() * 2, 0x00);
    uint32_t results[2] = {};
    ASSERT_TRUE(korva::catalog_test::RunOnSmallStack(64 * 1024, [&] {
        const korva::catalog_test::Bytes* inputs[2] = {&definite, &indefinite};
        for (int i = 0; i < 2; ++i) {
            ParserStack stack;
            results[i] = ParseAsn1(nullptr, &stack, inputs[i]->data(), static_cast<uint32_t>(inputs[i]->size()), nullptr);
        }
    }));
    EXPECT_EQ(results[0], kWalkRejected);  // refused at 255 levels
    EXPECT_EQ(results[1], kWalkRejected);  // nested indefinite lengths are refused
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
