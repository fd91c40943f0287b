// The signer chains of the real catalogs, built the way the engine asks
// (kind 1, flags 7, time 0) up to the shared root certificates.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/crypto/TestSupport.h"
#include "tests/toolkit/TestChains.h"
#include "toolkit/CertificateLists.h"
#include "toolkit/Context.h"
#include "toolkit/DatabaseRequests.h"
#include "toolkit/Dispatch.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathParams.h"
#include "toolkit/PathProvider.h"

namespace korva::toolkit::testing {
namespace {

namespace fs = std::filesystem;

const std::string kShared = KORVA_SHARED_DIR;

// One catalog's context: its certificates in the database, the roots trusted.
class CatalogWorld {
public:
    CatalogWorld(const std::vector<Der>& roots, const std::vector<Der>& certs) {
        const ProviderRecord records[] = {{4, "In-memory Database", ImdbInit},
                                          {6, "Cert Path Processing Provider", PathInit}};
        EXPECT_EQ(ContextCreate(records, nullptr, 2, &context_), kOk);
        EXPECT_EQ(ServiceBindOne(context_, 4, "In-memory Database", &database_), kOk);
        EXPECT_EQ(ObjectListCreate(&trusted_), kOk);
        for (const Der& der : roots) EXPECT_EQ(CertListAppendReference(trusted_, Load(der), nullptr), kOk);
        for (const Der& der : certs) DbInsertCert(database_, Load(der));
    }
    ~CatalogWorld() {
        ObjectListFree(&trusted_);
        for (CertObject*& cert : loaded_) CertFree(&cert);
        ServiceUnbind(&database_);
        ContextFree(&context_);
    }

    // The path built from loaded certificate `start`, empty without one.
    std::vector<Der> Build(size_t start) {
        ObjectList* path = nullptr;
        EXPECT_EQ(ObjectListCreate(&path), kOk);
        PathParams params{kPathKindChainOnly, 7, trusted_, nullptr, 0, database_};
        std::vector<Der> ders;
        if (PathBuildRequest(context_, &params, loaded_[start], path, nullptr, nullptr, nullptr) == kOk) {
            uint32_t count = 0;
            ObjectListCount(path, &count);
            for (uint32_t i = 0; i < count; ++i) {
                void* cert = nullptr;
                ObjectListGet(path, i, &cert);
                auto* c = static_cast<CertObject*>(cert);
                ders.emplace_back(c->encoding, c->encoding + c->encodingLength);
            }
        }
        ObjectListFree(&path);
        return ders;
    }

private:
    CertObject* Load(const Der& der) {
        CertObject* cert = nullptr;
        CertCreate(&cert, context_);
        CertSetEncoding(cert, der.data(), uint32_t(der.size()));
        loaded_.push_back(cert);
        return cert;
    }

    ToolkitContext* context_ = nullptr;
    ServiceBinding* database_ = nullptr;
    ObjectList* trusted_ = nullptr;
    std::vector<CertObject*> loaded_;
};

TEST(PathRealChainsTest, SignerChainsReachTheirRoots) {
    std::ifstream expected(kShared + "/realcats/expected.jsonl");
    if (!expected || !fs::exists(kShared + "/roots")) GTEST_SKIP() << "shared catalogs not found";
    std::vector<Der> roots;
    for (const auto& entry : fs::directory_iterator(kShared + "/roots")) {
        if (entry.path().extension() == ".der") roots.push_back(ReadFileBytes(entry.path().string()));
    }
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
        CatalogWorld world(roots, certs);
        bool found = false;
        for (size_t i = 0; i < certs.size() && !found; ++i) {
            if (SubjectCommonName(certs[i]) != names.front().string) continue;
            std::vector<Der> path = world.Build(roots.size() + i);
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
