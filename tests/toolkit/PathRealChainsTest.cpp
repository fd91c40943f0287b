// The signer chains of the real catalogs, built the way the engine asks
// (kind 1, flags 7, time 0) up to the shared root certificates.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/crypto/TestSupport.h"
#include "tests/toolkit/CertTestData.h"
#include "tests/toolkit/PathFixture.h"
#include "tools/catgen/CertBuilder.h"

namespace korva::toolkit::testing {
namespace {

namespace fs = std::filesystem;
using Der = catgen::Bytes;
using catgen::CertsOfSignedData;
using catgen::ReadFileBytes;
using catgen::SubjectCommonName;

const std::string kShared = KORVA_SHARED_DIR;

class PathRealChainsTest : public PathFixture {
protected:
    // The path from `start`, as DER, empty without one.
    std::vector<Der> PathFrom(CertObject* start) {
        std::vector<Der> ders;
        if (Build(start, kPathKindChainOnly, 7) != kOk) return ders;
        for (uint32_t i = 0; i < PathLength(); ++i) {
            CertObject* cert = PathAt(i);
            ders.emplace_back(cert->encoding, cert->encoding + cert->encodingLength);
        }
        return ders;
    }
};

TEST_F(PathRealChainsTest, SignerChainsReachTheirRoots) {
    time_ = 0;
    std::ifstream expected(kShared + "/realcats/expected.jsonl");
    if (!expected || !fs::exists(kShared + "/roots")) GTEST_SKIP() << "shared catalogs not found";
    int checked = 0;
    for (std::string line; std::getline(expected, line);) {
        auto record = crypto::test::ParseJson(line);
        ASSERT_TRUE(record.has_value());
        const crypto::test::Json& diagnostics = (*record)["diagnostics"];
        const crypto::test::Json& anchor = diagnostics["signer_anchor"];
        if (anchor.kind != crypto::test::Json::Kind::Number) continue;
        const std::string file = (*record)["file"].string;
        SCOPED_TRACE(file);
        const auto& names = diagnostics["signer_path"].array;
        Der root = ReadFileBytes(kShared + "/roots/" + std::to_string(int(anchor.number)) + ".der");
        std::vector<Der> certs = CertsOfSignedData(ReadFileBytes(kShared + "/realcats/" + file));
        // Each catalog in a context of its own, as the engine checks them.
        TearDown();
        SetUp();
        for (const TestCert& trusted : LoadRootCerts()) Trust(trusted.der);
        std::vector<CertObject*> stored;
        for (const Der& der : certs) stored.push_back(Insert(der));
        bool found = false;
        for (size_t i = 0; i < certs.size() && !found; ++i) {
            if (SubjectCommonName(certs[i]) != names.front().string) continue;
            std::vector<Der> path = PathFrom(stored[i]);
            if (path.size() != names.size() || path.back() != root) continue;
            found = true;
            // The anchor is compared whole above; some roots have no common name.
            for (size_t k = 0; k + 1 < path.size(); ++k) EXPECT_EQ(SubjectCommonName(path[k]), names[k].string);
        }
        EXPECT_TRUE(found);
        ++checked;
    }
    EXPECT_GT(checked, 20);
}

}  // namespace
}  // namespace korva::toolkit::testing
