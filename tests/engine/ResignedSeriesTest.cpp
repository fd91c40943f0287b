// One driver package signed again and again: generated catalogs with the same
// member hashes under signers that differ in serial number (so in their last
// two signer values), plus one without members and one that adds a member.
// They arrive one per update cycle, in several orders: every Cat.DB a cycle
// leaves loads, a rerun changes no byte, and every member hash is recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "catalog/ExtraRoots.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "tests/common/TempFiles.h"
#include "tests/engine/StoreTestSupport.h"
#include "tools/catgen/Catalog.h"

namespace TarnVerifyTrustDriver::test {
namespace {

namespace catgen = korva::catgen;
namespace fs = std::filesystem;
using korva::test_support::TempDirectory;

struct Release {
    const char* name;
    uint8_t serial;
    int members;  // members 0 .. members - 1 of the package
};
const Release kReleases[] = {{"r1.cat", 1, 6}, {"r2.cat", 2, 6}, {"r3.cat", 3, 6}, {"empty.cat", 4, 0}, {"r5.cat", 5, 7}};

class ResignedSeriesTest : public testing::Test {
protected:
    void SetUp() override {
        catgen::SetKeyBits(1024);
        static TempDirectory system;  // the system directory lookup is made once
        setenv("KORVA_SYSTEM_DIR", system.path().string().c_str(), 1);
        directory_ = system.path() / "CatRoot" / CCatalogDatabaseSingleton::kSecondCatalogDirectory;
        catgen::Identity root = catgen::TestRoot("resigned-root", "Resigned Root");
        ASSERT_EQ(extra_.Add(1, 9200, catgen::CertificateDer(root.cert)), 1u);
        for (const Release& release : kReleases) {
            catgen::CatalogOptions options;
            for (int i = 0; i < release.members; ++i) {
                std::string name = "driver" + std::to_string(i) + ".sys";
                options.trustList.members.push_back(
                    {name, catgen::Hash(catgen::Digest::kSha256, {name.begin(), name.end()}), catgen::MemberHash::kSha256});
            }
            catgen::ChainOptions chain;
            chain.leafSerial = {0x11, release.serial};
            catgen::Chain signer = catgen::BuildChain(root, chain);
            catgen::Catalog catalog = catgen::BuildCatalog(options, signer, nullptr);
            catalogs_.push_back(catalog.der);
            for (const Bytes& hash : catalog.memberHashes) members_.push_back(hash);
        }
        verification_.TrustExtraRoots(&extra_);
        previous_ = SetCatalogVerification(&verification_);
    }
    void TearDown() override { SetCatalogVerification(previous_); }

    // One update cycle of a fresh engine; the Cat.DB it leaves.
    Bytes Cycle(const TempDirectory& output) {
        CCatalogDatabase* handle = nullptr;
        EXPECT_EQ(CreateCatalogDatabase(output.path().wstring().c_str(), &handle), kSuccess);
        if (CCatalogDatabaseSingleton* engine = CCatalogDatabaseSingleton::Instance()) engine->RunUpdateCycle();
        EXPECT_EQ(ReleaseCatalogDatabase(handle), kSuccess);
        return korva::test_support::ReadBytes(output.File(L"Cat.DB"));
    }

    fs::path directory_;
    std::vector<Bytes> catalogs_;
    std::vector<Bytes> members_;
    CExtraRoots extra_;
    CCertificateVerification verification_;
    ICatalogVerification* previous_ = nullptr;
};

TEST_F(ResignedSeriesTest, EveryCycleLeavesALoadableFileThatHoldsEveryMember) {
    const std::vector<std::vector<size_t>> orders = {{0, 1, 2, 3, 4}, {4, 3, 2, 1, 0}, {3, 0, 4, 1, 2}, {2, 4, 0, 3, 1}};
    for (const std::vector<size_t>& order : orders) {
        std::string what = "order";
        for (size_t i : order) what += " " + std::to_string(i);
        fs::remove_all(directory_);
        fs::create_directories(directory_);
        TempDirectory output;
        Bytes file;
        for (size_t i : order) {
            ASSERT_TRUE(catgen::WriteCatalog(directory_ / kReleases[i].name, catalogs_[i]));
            file = Cycle(output);
            CatalogStore store;
            MemoryStream stream(file);
            ASSERT_EQ(LoadDatabase(store, stream), kSuccess) << what << " after " << kReleases[i].name;
        }
        EXPECT_EQ(Cycle(output), file) << what << ": a rerun changed Cat.DB";
        CatalogStore store;
        MemoryStream stream(file);
        ASSERT_EQ(LoadDatabase(store, stream), kSuccess) << what;
        for (const Bytes& member : members_) {
            MemberHash hash;
            std::copy(member.begin(), member.end(), hash.bytes);
            hash.length = static_cast<uint32_t>(member.size());
            EXPECT_NE(store.hashes().Find(hash), nullptr) << what;
        }
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
