// build [--trust-test-root DER]... DIR: one update cycle of the engine into
// DIR, as "KorvaCatalogDB /p DIR" runs it. Test roots join the built-in code
// signing anchors; each catalog kept is then verified again against the
// built-in roots alone, so the tool can name the ones only a test root vouches
// for.
#include <cstdio>
#include <vector>

#include "catalog/ExtraRoots.h"
#include "engine/CatalogDatabase.h"
#include "engine/CatalogVerificationOverride.h"
#include "engine/CertificateVerification.h"
#include "platform/TextConversion.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/Json.h"
#include "tools/cattool/TestRoots.h"

namespace korva::cattool {

namespace engine = TarnVerifyTrustDriver;

int RunBuild(const Invocation& invocation, CommandOutput& output) {
    std::vector<std::wstring> rootPaths;
    std::wstring directory;
    engine::CExtraRoots roots;
    if (!ReadTestRootOperands("build", invocation, rootPaths, directory, roots, output)) return kExitError;
    TestRootVerification testRoots(roots);
    std::wstring databasePath;
    engine::HResult status = RunEngine(directory, rootPaths.empty() ? nullptr : &testRoots,
                                       [](engine::CCatalogDatabaseSingleton& instance) { instance.RunUpdateCycle(); },
                                       databasePath);

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
