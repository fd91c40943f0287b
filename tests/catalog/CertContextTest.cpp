#include "catalog/CertContext.h"

#include <gtest/gtest.h>

#include "catalog/CertResult.h"
#include "platform/TraceRecorder.h"
#include "tests/common/AllocationFaults.h"
#include "tests/toolkit/DerBuilder.h"
#include "toolkit/Certificate.h"
#include "toolkit/Context.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathProvider.h"

namespace TarnVerifyTrustDriver {
namespace {

namespace toolkit = korva::toolkit;
using korva::trace::Source;

constexpr toolkit::ProviderRecord kProviders[] = {{4, "In-memory database", toolkit::ImdbInit},
                                                  {6, "Cert Path Processing Provider", toolkit::PathInit}};

// Every allocation of a start can fail: out of memory, traced at its step,
// the context left reset. The full start makes both extensions and unknown
// ones criticality-free, with the unknown row's handlers.
TEST(CertContextTest, StartsTolerantOrFailsResetAtAnyStep) {
    korva::trace::Recorder recorder;
    korva::test_support::SweepAllocationFailures([](uint64_t failing) {
        CCertContext context;
        uint32_t result = context.Start(kProviders);
        ASSERT_EQ(result, failing == 0 ? kCertSuccess : kCertOutOfMemory);
        EXPECT_EQ(context.context() != nullptr && context.started(), result == kCertSuccess);
        const std::vector<uint8_t> oids[] = {{0x55, 0x1D, 0x04}, {0x2B, 6, 1, 4, 1, 0x82, 0x37, 2, 1, 0x0A},
                                             {std::begin(toolkit::kUnknownExtensionType), std::end(toolkit::kUnknownExtensionType)}};
        for (const std::vector<uint8_t>& oid : oids) {
            toolkit::ExtensionTypeInfo row{};
            if (result != kCertSuccess) break;
            ASSERT_EQ(toolkit::ExtensionTypeGet(context.context(), oid.data(), uint32_t(oid.size()), &row), toolkit::kOk);
            EXPECT_EQ(row.defaultCritical * 10 + row.criticalityFree, 1u);
            EXPECT_EQ(row.handlers.decode, toolkit::ExtensionTypeResolve(nullptr, nullptr, 0, nullptr).handlers.decode);
        }
    });
    for (uint32_t number : {11u, 14u, 18u, 22u}) EXPECT_TRUE(recorder.Has(Source::CertContext, number)) << number;
    const toolkit::ProviderRecord refused[] = {{9, "no such class", nullptr}, kProviders[1]};
    CCertContext context;
    EXPECT_EQ(context.Start(refused), kCertToolkitFailure);
    EXPECT_EQ(context.context(), nullptr);
}

// Under the started context a certificate with 2.5.29.4 and an unknown
// extension, both critical, decodes (a plain context refuses it), but the
// unknown one still keeps its signature from counting.
TEST(CertContextTest, TheStartedContextDecodesWhatItToleratesButDoesNotVerifyIt) {
    using namespace korva::toolkit::testing;
    CertParts parts;
    parts.extensions = Sequence({Extension({0x55, 0x1D, 0x04}, true, Sequence({})), Extension({0x2A, 0x03, 0x04}, true, {})});
    const Der der = parts.Build();
    CCertContext context;
    ASSERT_EQ(context.Start(kProviders), kCertSuccess);
    context.context()->flags |= toolkit::kContextFlagAnyPublicKey;  // the hand-made key is no real one
    toolkit::CertObject* cert = nullptr;
    toolkit::KeyObject* key = nullptr;
    ASSERT_EQ(toolkit::CertCreate(&cert, context.context()), toolkit::kOk);
    EXPECT_EQ(toolkit::CertSetEncoding(cert, der.data(), uint32_t(der.size())), toolkit::kOk);
    ASSERT_EQ(toolkit::KeyObjectCreate(&key), toolkit::kOk);
    EXPECT_EQ(toolkit::CertVerifySignature(cert, key), toolkit::kUnknownCriticalExtension);
    toolkit::KeyObjectFree(&key);
    toolkit::CertFree(&cert);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
