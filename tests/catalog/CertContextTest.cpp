#include "catalog/CertContext.h"

#include <gtest/gtest.h>

#include "catalog/CertResult.h"
#include "platform/TraceRecorder.h"
#include "tests/common/AllocationFaults.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathProvider.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace toolkit = korva::toolkit;
using korva::trace::Source;

constexpr toolkit::ProviderRecord kProviders[] = {{4, "In-memory database", toolkit::ImdbInit},
                                                  {6, "Cert Path Processing Provider", toolkit::PathInit}};

TEST(CertContextTest, StartMakesBothExtensionsAndUnknownOnesCriticalityFree) {
    CCertContext context;
    ASSERT_EQ(context.Start(kProviders), kCertSuccess);
    ASSERT_TRUE(context.started());
    toolkit::ExtensionTypeInfo unknown{};
    ASSERT_EQ(toolkit::ExtensionTypeGet(context.context(), toolkit::kUnknownExtensionType,
                                        sizeof toolkit::kUnknownExtensionType, &unknown), toolkit::kOk);
    const std::vector<uint8_t> oids[] = {{0x55, 0x1D, 0x04}, {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0A},
                                         {toolkit::kUnknownExtensionType, std::end(toolkit::kUnknownExtensionType)}};
    for (const std::vector<uint8_t>& oid : oids) {
        toolkit::ExtensionTypeInfo row{};
        ASSERT_EQ(toolkit::ExtensionTypeGet(context.context(), oid.data(), uint32_t(oid.size()), &row), toolkit::kOk);
        EXPECT_EQ(row.defaultCritical, 0u);
        EXPECT_EQ(row.criticalityFree, 1u);
        EXPECT_EQ(row.handlers.decode, unknown.handlers.decode);
    }
    // A second start replaces the context; a reset one is left alone by another reset.
    ASSERT_EQ(context.Start(kProviders), kCertSuccess);
    context.Reset();
    context.Reset();
    EXPECT_EQ(context.context(), nullptr);
}

TEST(CertContextTest, ProvidersTheToolkitRefusesFailTheStartWithTrace11) {
    const toolkit::ProviderRecord bad[] = {{9, "nothing", nullptr}, kProviders[1]};
    korva::trace::Recorder recorder;
    CCertContext context;
    EXPECT_EQ(context.Start(bad), kCertToolkitFailure);
    EXPECT_TRUE(recorder.Has(Source::CertContext, 11));
    EXPECT_FALSE(context.started());
    EXPECT_EQ(context.context(), nullptr);
}

// Every allocation of a start can fail; each failure is out of memory,
// traced at its step, and leaves the context reset.
TEST(CertContextTest, OutOfMemoryAtAnyStepLeavesTheContextReset) {
    korva::trace::Recorder recorder;
    uint64_t allocations = korva::test_support::SweepAllocationFailures([](uint64_t failing) {
        CCertContext context;
        uint32_t result = context.Start(kProviders);
        EXPECT_EQ(result, failing == 0 ? kCertSuccess : kCertOutOfMemory);
        EXPECT_EQ(context.started(), result == kCertSuccess);
        EXPECT_EQ(context.context() != nullptr, result == kCertSuccess);
    });
    EXPECT_GT(allocations, 3u);
    for (uint32_t number : {11u, 14u, 18u, 22u}) EXPECT_TRUE(recorder.Has(Source::CertContext, number)) << number;
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
