// What `build` and `watch` share: their operands [--trust-test-root DER]...
// DIR, and a run of the engine over DIR. Test roots join the built-in code-signing anchors; each catalog kept is then
// verified again against the built-in roots alone, so that the tool can name
// the ones only a test root vouches for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "catalog/ExtraRoots.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "tools/cattool/Commands.h"

namespace korva::cattool {

class TestRootVerification : public TarnVerifyTrustDriver::ICatalogVerification,
                             public TarnVerifyTrustDriver::ICatalogVerifier {
public:
    explicit TestRootVerification(TarnVerifyTrustDriver::CExtraRoots& roots) { trusting_.TrustExtraRoots(&roots); }

    uint32_t StartContext() override;
    uint32_t SetUpTrustAnchors() override;
    TarnVerifyTrustDriver::ICatalogVerifier& Verifier() override { return *this; }
    void ReleaseTrustAnchors() override;
    void ResetContext() override;
    TarnVerifyTrustDriver::ICatalogEvidence* CreateCallback(TarnVerifyTrustDriver::CCallbacks* callbacks) override;
    uint32_t ParseCatalogFile(const wchar_t* path, TarnVerifyTrustDriver::ICatalogEvidence& callback,
                              TarnVerifyTrustDriver::CCallbacks* callbacks) override;

    std::vector<std::wstring> onlyThroughTestRoots;

private:
    TarnVerifyTrustDriver::CCertificateVerification trusting_;
    TarnVerifyTrustDriver::CCertificateVerification builtIn_;
};

// Splits the operands of `command` into root files and the directory and
// adds each root to `roots`; false with the reason in `output.err`.
bool ReadTestRootOperands(const char* command, const Invocation& invocation, std::vector<std::wstring>& rootPaths,
                          std::wstring& directory, TarnVerifyTrustDriver::CExtraRoots& roots, CommandOutput& output);

// Opens the engine for `directory`, trusting `testRoots` when given, hands it
// to `work`, and releases it: the engine's status, with the Cat.DB path in
// `databasePath` (empty when no engine started).
TarnVerifyTrustDriver::HResult RunEngine(const std::wstring& directory, TestRootVerification* testRoots,
                                         const std::function<void(TarnVerifyTrustDriver::CCatalogDatabaseSingleton&)>& work,
                                         std::wstring& databasePath);

}  // namespace korva::cattool
