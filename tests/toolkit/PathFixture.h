// A toolkit context with the in-memory database and the path processing
// provider, a trusted list, and certificates made by TestChains.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <vector>

#include "tests/toolkit/TestChains.h"
#include "toolkit/CertificateLists.h"
#include "toolkit/Context.h"
#include "toolkit/DatabaseRequests.h"
#include "toolkit/PathParams.h"

namespace korva::toolkit::testing {

class PathFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A certificate decoded under the context and kept until tear-down.
    CertObject* Load(const Der& der);
    CertObject* Stored(const CertSpec& spec);
    CertObject* Trusted(const CertSpec& spec);
    Status Build(CertObject* start, uint32_t kind, uint32_t flags);
    uint32_t PathLength() const;
    CertObject* PathAt(uint32_t index) const;

    ToolkitContext* context_ = nullptr;
    ServiceBinding* database_ = nullptr;
    ObjectList* trusted_ = nullptr;
    ObjectList* path_ = nullptr;
    std::vector<CertObject*> certs_;
    time_t now_ = time(nullptr);
};

}  // namespace korva::toolkit::testing
