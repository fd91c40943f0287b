// Helpers shared by the catalog tests: the shared real catalogs, byte
// strings, and a callback that records what the walker reports.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <tuple>
#include <vector>

#include "catalog/Asn1NodeCallback.h"
#include "tests/common/Bytes.h"

namespace korva::catalog_test {

using korva::test::Bytes;
using korva::test::Concat;
using korva::test::ReadFile;
using korva::test::ToHex;

// Every *.cat of the shared real-catalog directory, sorted; empty when absent.
std::vector<std::filesystem::path> RealCatalogs();

// (depth, index, tag, tagClass, offset, len) of one node.
using NodeRecord = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>;

class RecordingCallback : public TarnVerifyTrustDriver::IAsn1NodeCallback {
public:
    uint32_t OnParseBegin() override { return beginAnswer; }
    uint32_t OnNode(TarnVerifyTrustDriver::Asn1Node& node) override;
    void Want(TarnVerifyTrustDriver::NodeInterest interest) { interest_ = interest; }

    uint32_t beginAnswer = 0;
    size_t answerAt = SIZE_MAX;  // the node (0-based) that gets `answer`; the others get 0
    uint32_t answer = 0;
    std::vector<NodeRecord> nodes;
    std::vector<uint32_t> oidFlags;
};

}  // namespace korva::catalog_test

#define KORVA_REAL_CATALOGS_OR_SKIP(var)                                                    \
    const std::vector<std::filesystem::path> var = ::korva::catalog_test::RealCatalogs();  \
    if (var.empty()) GTEST_SKIP() << "real catalogs not found in " KORVA_SHARED_DIR "/realcats"
