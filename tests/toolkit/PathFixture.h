// A toolkit context with the in-memory database and the path processing
// provider, a trusted list, and certificates decoded from DER.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <vector>

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
    CertObject* Load(const std::vector<uint8_t>& der);
    // Loaded, then put into the database or the trusted list.
    CertObject* Insert(const std::vector<uint8_t>& der);
    CertObject* Trust(const std::vector<uint8_t>& der);
    Status Build(CertObject* start, uint32_t kind, uint32_t flags);
    static uint32_t Count(const ObjectList* list);
    uint32_t PathLength() const { return Count(path_); }
    CertObject* PathAt(uint32_t index) const;

    ToolkitContext* context_ = nullptr;
    ServiceBinding* database_ = nullptr;
    ObjectList* trusted_ = nullptr;
    ObjectList* path_ = nullptr;
    std::vector<CertObject*> certs_;
    uint32_t time_ = uint32_t(time(nullptr));
};

}  // namespace korva::toolkit::testing
