#include "platform/TraceRecorder.h"
#include "catalog/ParseCatalogFile.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/IoFault.h"
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
        uint64_t size;  // what the file layer reports instead, when not 0
    } const rows[] = {
        {L"empty.cat", 0, 5, 12, 0}, {L"one.cat", 0, 11, 28, 0}, {L"missing.cat", 0, 8, 10, 0},
        {L"missing.cat", 1, 22, 0, 0},  // refused before the file is opened
        // 4 GiB and more is refused before anything is read, not taken for
        // what its low 32 bits say.
        {L"one.cat", 0, 22, 13, 0x100000000}, {L"one.cat", 0, 22, 13, 0x100000001}, {L"one.cat", 0, 22, 13, 5'000'000'000},
    };
    for (const Row& row : rows) {
        korva::trace::Recorder recorder;
        RecordingCallback callback;
        callback.beginAnswer = row.beginAnswer;
        CatalogParseRecord record{7};
        if (row.size != 0) korva::platform::ArmIoFault({.kind = korva::platform::IoFault::Kind::FakeSize, .ordinal = 1, .size = row.size});
        EXPECT_EQ(ParseCatalogFile(&record, nullptr, dir.File(row.name).c_str(), &callback), row.result) << row.size;
        korva::platform::DisarmIoFault();
        EXPECT_EQ(record.value, 0u);
        EXPECT_EQ(recorder.Has(korva::trace::Source::Asn1, row.traceNumber), row.traceNumber != 0) << row.result;
        EXPECT_TRUE(callback.nodes.empty() || row.size == 0);
    }
}

TEST(ParseCatalogFile, WalksEveryRealCatalogAndSurvivesEveryAllocationFailure) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    for (const auto& path : catalogs) {
        EXPECT_EQ(ParseCatalogFile(nullptr, nullptr, path.wstring().c_str(), nullptr), kWalkSuccess) << path;
    }
    // A copy padded past two large pages: its bytes land where the walk reads them.
    korva::test_support::TempDirectory dir;
    std::vector<uint8_t> padded = korva::test::ReadFile(catalogs.front());
    padded.resize(padded.size() + (5u << 20));
    korva::test_support::WriteBytes(dir.File(L"padded.cat"), padded);
    EXPECT_EQ(ParseCatalogFile(nullptr, nullptr, dir.File(L"padded.cat").c_str(), nullptr), kWalkSuccess);
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
