// Every allocation of a database insert and a full path build, failed in
// turn: the request answers success or out of memory and leaks nothing.
#include <gtest/gtest.h>

#include "tests/common/AllocationFaults.h"
#include "toolkit/CertificateLists.h"
#include "toolkit/Context.h"
#include "toolkit/DatabaseRequests.h"
#include "toolkit/Dispatch.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathProvider.h"
#include "tools/catgen/CertBuilder.h"

namespace korva::toolkit::testing {
namespace {

using Der = catgen::Bytes;
using catgen::MakeCert;
using catgen::TestKey;

// Runs the request; a failure while setting up only ends the run early.
Status BuildOnce(const std::vector<Der>& chain) {
    const ProviderRecord records[] = {{4, "In-memory Database", ImdbInit},
                                      {6, "Cert Path Processing Provider", PathInit}};
    ToolkitContext* context = nullptr;
    ServiceBinding* database = nullptr;
    ObjectList* trusted = nullptr;
    ObjectList* path = nullptr;
    std::vector<CertObject*> certs;
    Status status = ContextCreate(records, nullptr, 2, &context);
    if (status == kOk) status = ServiceBindOne(context, 4, "In-memory Database", &database);
    if (status == kOk) status = ObjectListCreate(&trusted);
    if (status == kOk) status = ObjectListCreate(&path);
    for (const Der& der : chain) {
        CertObject* cert = nullptr;
        if (status == kOk) status = CertCreate(&cert, context);
        if (status == kOk) certs.push_back(cert);
        if (status == kOk) status = CertSetEncoding(cert, der.data(), uint32_t(der.size()));
        if (status == kOk) status = DbInsertCert(database, cert);
    }
    if (status == kOk) status = CertListAppendReference(trusted, certs.back(), nullptr);
    if (status == kOk) {
        PathParams params{kPathKindValidate, 4, trusted, nullptr, uint32_t(time(nullptr)), database};
        status = PathBuildRequest(context, &params, certs.front(), path, nullptr, nullptr, nullptr);
    }
    ObjectListFree(&path);
    ObjectListFree(&trusted);
    for (CertObject*& cert : certs) CertFree(&cert);
    ServiceUnbind(&database);
    ContextFree(&context);
    return status;
}

TEST(PathAllocationTest, EveryFailureIsReportedAndLeaksNothing) {
    TestKey rootKey, interKey, leafKey;
    std::vector<Der> chain = {
        MakeCert({"Leaf", "Inter", 3, &leafKey, &interKey}),
        MakeCert({"Inter", "Root", 2, &interKey, &rootKey, 0, 0, 1, 0, "critical,keyCertSign"}),
        MakeCert({"Root", "Root", 1, &rootKey, &rootKey, 0, 0, 1, -1, "critical,keyCertSign"}),
    };
    ASSERT_EQ(BuildOnce(chain), kOk);
    uint64_t allocations = test_support::SweepAllocationFailures([&](uint64_t failing) {
        Status status = BuildOnce(chain);
        if (failing == 0) EXPECT_EQ(status, kOk);
        else EXPECT_TRUE(status == kOk || status == kOutOfMemory) << "allocation " << failing << ": " << status;
    });
    EXPECT_GT(allocations, 20u);
}

}  // namespace
}  // namespace korva::toolkit::testing
