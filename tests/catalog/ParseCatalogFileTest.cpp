#include "platform/TraceRecorder.h"
#include "catalog/ParseCatalogFile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Trace.h"
#include "tests/catalog/CatalogTestSupport.h"
#include "tests/common/AllocationFaults.h"
#include "tests/common/TempFiles.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::catalog_test::RecordingCallback;

TEST(ParseCatalogFile, ReportsFileLevelFailures) {
    korva::test_support::TempDirectory dir;
    korva::test_support::WriteBytes(dir.File(L"empty.cat"), {});
    korva::test_support::WriteBytes(dir.File(L"one.cat"), {0x30});
    struct Row {
        const wchar_t* name;
        uint32_t beginAnswer, result, traceNumber;
    } const rows[] = {
        {L"empty.cat", 0, 5, 12}, {L"one.cat", 0, 11, 28}, {L"missing.cat", 0, 8, 10},
        {L"missing.cat", 1, 22, 0},  // refused before the file is opened
    };
    for (const Row& row : rows) {
        korva::trace::Recorder recorder;
        RecordingCallback callback;
        callback.beginAnswer = row.beginAnswer;
        CatalogParseRecord record{7};
        EXPECT_EQ(ParseCatalogFile(&record, nullptr, dir.File(row.name).c_str(), &callback), row.result);
        EXPECT_EQ(record.value, 0u);
        EXPECT_EQ(recorder.Has(korva::trace::Source::Asn1, row.traceNumber), row.traceNumber != 0) << row.result;
    }
}

TEST(ParseCatalogFile, WalksEveryRealCatalogAndSurvivesEveryAllocationFailure) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    for (const auto& path : catalogs) {
        EXPECT_EQ(ParseCatalogFile(nullptr, nullptr, path.wstring().c_str(), nullptr), kWalkSuccess) << path;
    }
    const std::wstring smallest = std::min_element(catalogs.begin(), catalogs.end(), [](const auto& a, const auto& b) {
                                      return std::filesystem::file_size(a) < std::filesystem::file_size(b);
                                  })->wstring();
    uint64_t allocations = korva::test_support::SweepAllocationFailures([&](uint64_t failing) {
        RecordingCallback callback;
        EXPECT_EQ(ParseCatalogFile(nullptr, nullptr, smallest.c_str(), &callback),
                  failing == 0 ? kWalkSuccess : kWalkOutOfMemory)
            << failing;
    });
    EXPECT_GT(allocations, 10u);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
