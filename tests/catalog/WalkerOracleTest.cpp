// The walker against an independent DER reader: libcrypto's ASN1_get_object
// walks every real catalog the same way and must find the same elements.
#include <gtest/gtest.h>
#include <openssl/asn1.h>

#include "catalog/ParseAsn1.h"
#include "tests/catalog/CatalogTestSupport.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::catalog_test::Bytes;
using korva::catalog_test::NodeRecord;

// Depth first through the outermost element, descending into every
// constructed element; false when libcrypto refuses a header.
bool OracleWalk(const Bytes& file, std::vector<NodeRecord>& out) {
    struct Level {
        size_t end;
        uint32_t depth;
        uint32_t index;
    };
    std::vector<Level> levels = {{file.size(), 0, 0}};
    size_t pos = 0;
    for (;;) {
        while (!levels.empty() && pos >= levels.back().end) levels.pop_back();
        if (levels.empty() || (levels.back().depth == 0 && levels.back().index == 1)) return true;
        Level& level = levels.back();
        const unsigned char* start = file.data() + pos;
        const unsigned char* p = start;
        long length = 0;
        int tag = 0, tagClass = 0;
        int ret = ASN1_get_object(&p, &length, &tag, &tagClass, static_cast<long>(level.end - pos));
        if ((ret & 0x80) != 0 || ret == 0x21) return false;
        size_t header = static_cast<size_t>(p - start);
        uint32_t depth = level.depth;
        out.emplace_back(depth, level.index++, tag, tagClass | (ret & 0x20), pos, length);
        if ((ret & 0x20) != 0) {
            levels.push_back({pos + header + length, depth + 1, 0});
            pos += header;
        } else {
            pos += header + length;
        }
    }
}

TEST(ParseAsn1, FindsWhatLibcryptoFindsInEveryRealCatalog) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    size_t total = 0;
    for (const auto& path : catalogs) {
        const Bytes file = korva::catalog_test::ReadFile(path);
        std::vector<NodeRecord> expected;
        ASSERT_TRUE(OracleWalk(file, expected)) << path;
        korva::catalog_test::RecordingCallback callback;
        ParserStack stack;
        ASSERT_EQ(ParseAsn1(nullptr, &stack, file.data(), static_cast<uint32_t>(file.size()), &callback), kWalkSuccess)
            << path;
        EXPECT_EQ(callback.nodes, expected) << path;
        total += expected.size();
    }
    EXPECT_GT(total, 1000u);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
