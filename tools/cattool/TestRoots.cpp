#include "tools/cattool/TestRoots.h"

#include <string_view>

#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "platform/WholeFile.h"
#include "tools/cattool/CatalogVerdict.h"

namespace korva::cattool {

namespace engine = TarnVerifyTrustDriver;

namespace {

constexpr size_t kMaxRootSize = 64 * 1024;
// Ids of added roots: in the code-signing group's range, clear of the table's.
constexpr uint64_t kFirstTestRootId = 200;
constexpr uint32_t kCodeSigningGroup = 1;

}  // namespace

uint32_t TestRootVerification::StartContext() {
    uint32_t status = trusting_.StartContext();
    return status == kContextStarted ? builtIn_.StartContext() : status;
}

uint32_t TestRootVerification::SetUpTrustAnchors() {
    uint32_t status = trusting_.SetUpTrustAnchors();
    return status == 0 ? builtIn_.SetUpTrustAnchors() : status;
}

void TestRootVerification::ReleaseTrustAnchors() {
    trusting_.ReleaseTrustAnchors();
    builtIn_.ReleaseTrustAnchors();
}

void TestRootVerification::ResetContext() {
    trusting_.ResetContext();
    builtIn_.ResetContext();
}

engine::ICatalogEvidence* TestRootVerification::CreateCallback(engine::CCallbacks* callbacks) {
    return trusting_.CreateCallback(callbacks);
}

uint32_t TestRootVerification::ParseCatalogFile(const wchar_t* path, engine::ICatalogEvidence& callback,
                                                engine::CCallbacks* callbacks) {
    uint32_t result = trusting_.ParseCatalogFile(path, callback, callbacks);
    if (std::string_view(CatalogVerdict(result, callback)) != "ok") return result;
    engine::ICatalogEvidence* plain = builtIn_.CreateCallback(callbacks);
    if (plain == nullptr) return result;
    uint32_t plainResult = builtIn_.ParseCatalogFile(path, *plain, callbacks);
    if (std::string_view(CatalogVerdict(plainResult, *plain)) != "ok") onlyThroughTestRoots.emplace_back(path);
    delete plain;
    return result;
}

bool ReadTestRootOperands(const char* command, const Invocation& invocation, std::vector<std::wstring>& rootPaths,
                          std::wstring& directory, engine::CExtraRoots& roots, CommandOutput& output) {
    const auto& operands = invocation.operands;
    for (size_t i = 0; i < operands.size(); ++i) {
        if (operands[i] == L"--trust-test-root" && i + 1 < operands.size()) {
            rootPaths.push_back(operands[++i]);
        } else if (directory.empty() && operands[i] != L"--trust-test-root") {
            directory = operands[i];
        } else {
            output.err = std::string("KorvaCatalogTool: ") + command + " takes [--trust-test-root DER]... DIR\n";
            return false;
        }
    }
    if (directory.empty()) {
        output.err = std::string("KorvaCatalogTool: ") + command + " needs the directory to write Cat.DB into\n";
        return false;
    }
    for (size_t i = 0; i < rootPaths.size(); ++i) {
        std::vector<uint8_t> der;
        uint32_t code = platform::ReadWholeFile(rootPaths[i].c_str(), kMaxRootSize, der);
        if (code != platform::kErrorSuccess) {
            output.err = ReadError(rootPaths[i], code);
            return false;
        }
        if (roots.Add(kCodeSigningGroup, kFirstTestRootId + i, der) != 1) {
            output.err = "KorvaCatalogTool: " + platform::WideToUtf8(rootPaths[i]) + ": cannot be added as a root\n";
            return false;
        }
    }
    return true;
}

engine::HResult RunEngine(const std::wstring& directory, TestRootVerification* testRoots,
                          const std::function<void(engine::CCatalogDatabaseSingleton&)>& work,
                          std::wstring& databasePath) {
    engine::ICatalogVerification* previous = testRoots == nullptr ? nullptr : engine::SetCatalogVerification(testRoots);
    engine::CCatalogDatabase* database = nullptr;
    engine::HResult status = engine::CreateCatalogDatabase(directory.c_str(), &database);
    if (!engine::Failed(status)) {
        if (auto* instance = engine::CCatalogDatabaseSingleton::Instance()) {
            databasePath = instance->databasePath();
            work(*instance);
        }
        status = engine::ReleaseCatalogDatabase(database);
    }
    if (testRoots != nullptr) engine::SetCatalogVerification(previous);
    return status;
}

}  // namespace korva::cattool
