#include "tests/toolkit/PathFixture.h"

#include "toolkit/Dispatch.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathProvider.h"

namespace korva::toolkit::testing {

void PathFixture::SetUp() {
    const ProviderRecord records[] = {{6, "Cert Path Processing Provider", PathInit},
                                      {4, "In-memory Database", ImdbInit}};
    ASSERT_EQ(ContextCreate(records, nullptr, 2, &context_), kOk);
    ASSERT_EQ(ServiceBindOne(context_, 4, "In-memory Database", &database_), kOk);
    ASSERT_EQ(ObjectListCreate(&trusted_), kOk);
    ASSERT_EQ(ObjectListCreate(&path_), kOk);
}

void PathFixture::TearDown() {
    ObjectListFree(&path_);
    ObjectListFree(&trusted_);
    for (CertObject*& cert : certs_) CertFree(&cert);
    ServiceUnbind(&database_);
    ContextFree(&context_);
}

CertObject* PathFixture::Load(const std::vector<uint8_t>& der) {
    CertObject* cert = nullptr;
    EXPECT_EQ(CertCreate(&cert, context_), kOk);
    EXPECT_EQ(CertSetEncoding(cert, der.data(), uint32_t(der.size())), kOk);
    certs_.push_back(cert);
    return cert;
}

CertObject* PathFixture::Insert(const std::vector<uint8_t>& der) {
    CertObject* cert = Load(der);
    EXPECT_EQ(DbInsertCert(database_, cert), kOk);
    return cert;
}

CertObject* PathFixture::Trust(const std::vector<uint8_t>& der) {
    CertObject* cert = Load(der);
    EXPECT_EQ(CertListAppendReference(trusted_, cert, nullptr), kOk);
    return cert;
}

Status PathFixture::Build(CertObject* start, uint32_t kind, uint32_t flags) {
    ObjectListFree(&path_);
    EXPECT_EQ(ObjectListCreate(&path_), kOk);
    PathParams params{kind, flags, trusted_, nullptr, time_, database_};
    return PathBuildRequest(context_, &params, start, path_, nullptr, nullptr, nullptr);
}

uint32_t PathFixture::Count(const ObjectList* list) {
    uint32_t count = 0;
    ObjectListCount(list, &count);
    return count;
}

CertObject* PathFixture::PathAt(uint32_t index) const {
    void* cert = nullptr;
    ObjectListGet(path_, index, &cert);
    return static_cast<CertObject*>(cert);
}

}  // namespace korva::toolkit::testing
