// Helpers shared by the catalog tests: the real catalogs of the shared test
// data, and a callback that records what the walker reports.
#pragma once

#include <cstdint>
#include <filesystem>
#include <tuple>
#include <vector>

#include "catalog/Asn1NodeCallback.h"

namespace korva::catalog_test {

using Bytes = std::vector<uint8_t>;

// Every *.cat below the shared real-catalog directory, sorted; empty when absent.
std::vector<std::filesystem::path> RealCatalogs();
Bytes ReadFile(const std::filesystem::path& path);

// What the walker says about one element.
using NodeRecord = std::tuple<uint32_t /*depth*/, uint32_t /*index*/, uint32_t /*tag*/, uint32_t /*tagClass*/,
                              uint32_t /*offset*/, uint32_t /*len*/>;

class RecordingCallback : public TarnVerifyTrustDriver::IAsn1NodeCallback {
public:
    uint32_t OnParseBegin() override { return beginAnswer; }
    uint32_t OnNode(const TarnVerifyTrustDriver::Asn1Node& node) override;

    uint32_t beginAnswer = 0;
    // Answer `answer` at node number `answerAt` (0-based), 0 otherwise.
    size_t answerAt = SIZE_MAX;
    uint32_t answer = 0;
    std::vector<NodeRecord> nodes;
    std::vector<uint32_t> oidFlags;
};

// `depth` SEQUENCEs nested inside each other around a NULL, definite lengths.
Bytes NestedSequences(size_t depth);

}  // namespace korva::catalog_test

#define KORVA_REAL_CATALOGS_OR_SKIP(var)                                                    \
    const std::vector<std::filesystem::path> var = ::korva::catalog_test::RealCatalogs();  \
    if (var.empty()) GTEST_SKIP() << "real catalogs not found in " KORVA_SHARED_DIR "/realcats"
