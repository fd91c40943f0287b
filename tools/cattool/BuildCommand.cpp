// build [--trust-test-root DER]... DIR: one update cycle of the engine into
// DIR, as "KorvaCatalogDB /p DIR" runs it. Test roots join the built-in code
// signing anchors; each catalog kept is then verified again against the
// built-in roots alone, so the tool can name the ones only a test root vouches
// for.
#include <cstdio>
#include <string_view>
#include <vector>

#include "catalog/ExtraRoots.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "platform/WholeFile.h"
#include "platform/TextConversion.h"
#include "tools/cattool/CatalogVerdict.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/Json.h"

namespace korva::cattool {

namespace {

namespace engine = TarnVerifyTrustDriver;

constexpr size_t kMaxRootSize = 64 * 1024;
// Ids of added roots: in the code-signing group's range, clear of the table's.
constexpr uint64_t kFirstTestRootId = 200;
constexpr uint32_t kCodeSigningGroup = 1;

class TestRootVerification : public engine::ICatalogVerification, public engine::ICatalogVerifier {
public:
    explicit TestRootVerification(engine::CExtraRoots& roots) { trusting_.TrustExtraRoots(&roots); }

    uint32_t StartContext() override {
        uint32_t status = trusting_.StartContext();
        return status == kContextStarted ? builtIn_.StartContext() : status;
    }
    uint32_t SetUpTrustAnchors() override {
        uint32_t status = trusting_.SetUpTrustAnchors();
        return status == 0 ? builtIn_.SetUpTrustAnchors() : status;
    }
    engine::ICatalogVerifier& Verifier() override { return *this; }
    void ReleaseTrustAnchors() override {
        trusting_.ReleaseTrustAnchors();
        builtIn_.ReleaseTrustAnchors();
    }
    void ResetContext() override {
        trusting_.ResetContext();
        builtIn_.ResetContext();
    }

    engine::ICatalogEvidence* CreateCallback(engine::CCallbacks* callbacks) override {
        return trusting_.CreateCallback(callbacks);
    }
    uint32_t ParseCatalogFile(const wchar_t* path, engine::ICatalogEvidence& callback,
                              engine::CCallbacks* callbacks) override {
        uint32_t result = trusting_.ParseCatalogFile(path, callback, callbacks);
        if (std::string_view(CatalogVerdict(result, callback)) != "ok") return result;
        engine::ICatalogEvidence* plain = builtIn_.CreateCallback(callbacks);
        if (plain == nullptr) return result;
        uint32_t plainResult = builtIn_.ParseCatalogFile(path, *plain, callbacks);
        if (std::string_view(CatalogVerdict(plainResult, *plain)) != "ok") onlyThroughTestRoots.emplace_back(path);
        delete plain;
        return result;
    }

    std::vector<std::wstring> onlyThroughTestRoots;

private:
    engine::CCertificateVerification trusting_;
    engine::CCertificateVerification builtIn_;
};

bool ParseOperands(const Invocation& invocation, std::vector<std::wstring>& roots, std::wstring& directory,
                   CommandOutput& output) {
    const auto& operands = invocation.operands;
    for (size_t i = 0; i < operands.size(); ++i) {
        if (operands[i] == L"--trust-test-root" && i + 1 < operands.size()) {
            roots.push_back(operands[++i]);
        } else if (directory.empty() && operands[i] != L"--trust-test-root") {
            directory = operands[i];
        } else {
            output.err = "KorvaCatalogTool: build takes [--trust-test-root DER]... DIR\n";
            return false;
        }
    }
    if (directory.empty()) output.err = "KorvaCatalogTool: build needs the directory to write Cat.DB into\n";
    return !directory.empty();
}

}  // namespace

int RunBuild(const Invocation& invocation, CommandOutput& output) {
    std::vector<std::wstring> rootPaths;
    std::wstring directory;
    if (!ParseOperands(invocation, rootPaths, directory, output)) return kExitError;
    engine::CExtraRoots roots;
    for (size_t i = 0; i < rootPaths.size(); ++i) {
        std::vector<uint8_t> der;
        uint32_t code = platform::ReadWholeFile(rootPaths[i].c_str(), kMaxRootSize, der);
        if (code != platform::kErrorSuccess) {
            output.err = ReadError(rootPaths[i], code);
            return kExitError;
        }
        if (roots.Add(kCodeSigningGroup, kFirstTestRootId + i, der) != 1) {
            output.err = "KorvaCatalogTool: " + platform::WideToUtf8(rootPaths[i]) + ": cannot be added as a root\n";
            return kExitError;
        }
    }
    TestRootVerification testRoots(roots);
    engine::ICatalogVerification* previous = rootPaths.empty() ? nullptr : engine::SetCatalogVerification(&testRoots);

    engine::CCatalogDatabase* database = nullptr;
    engine::HResult status = engine::CreateCatalogDatabase(directory.c_str(), &database);
    std::wstring databasePath;
    if (!engine::Failed(status)) {
        if (auto* instance = engine::CCatalogDatabaseSingleton::Instance()) {
            instance->RunUpdateCycle();
            databasePath = instance->databasePath();
        }
        status = engine::ReleaseCatalogDatabase(database);
    }
    if (!rootPaths.empty()) engine::SetCatalogVerification(previous);

    const bool built = !engine::Failed(status);
    const std::vector<std::wstring>& only = testRoots.onlyThroughTestRoots;
    if (invocation.json) {
        JsonWriter json;
        json.BeginObject().Key("schema").Number(1).Key("command").String("build");
        json.Key("directory").String(platform::WideToUtf8(directory)).Key("built").Bool(built);
        json.Key("status").Number(static_cast<uint32_t>(status));
        json.Key("database").String(platform::WideToUtf8(databasePath)).Key("testRoots").BeginArray();
        for (const std::wstring& path : rootPaths) json.String(platform::WideToUtf8(path));
        json.EndArray().Key("testRootUsed").Bool(!only.empty()).Key("onlyThroughTestRoots").BeginArray();
        for (const std::wstring& path : only) json.String(platform::WideToUtf8(path));
        output.out = json.EndArray().EndObject().Finish();
    } else if (built) {
        output.out = "Cat.DB built: " + platform::WideToUtf8(databasePath) + "\n";
        if (!rootPaths.empty()) {
            output.out += "test roots trusted: " + std::to_string(rootPaths.size()) + "\n";
            output.out += only.empty() ? std::string("no catalog needed a test root\n")
                                       : "A TEST ROOT WAS USED: " + std::to_string(only.size()) +
                                             " catalog(s) are in this Cat.DB only because of a test root; "
                                             "KorvaCatalogDB would refuse them:\n";
            for (const std::wstring& path : only) output.out += "  " + platform::WideToUtf8(path) + "\n";
        }
    }
    if (!built) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(status));
        output.err = "KorvaCatalogTool: " + platform::WideToUtf8(directory) + ": the engine failed (" + code + ")\n";
    }
    return built ? kExitSuccess : kExitError;
}

}  // namespace korva::cattool
