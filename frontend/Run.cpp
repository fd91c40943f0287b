#include "frontend/Run.h"

#include <memory>

#include "engine/CatalogDatabase.h"
#include "frontend/CommandLine.h"
#include "frontend/Console.h"
#include "frontend/RegistryCheck.h"
#include "platform/Process.h"
#include "platform/Trace.h"

namespace CatalogDB {

namespace {

namespace trace = korva::trace;

const wchar_t* BoolText(bool value) { return value ? L"true" : L"false"; }

bool PassesBitnessCheck() {
    switch (korva::platform::QueryWow64()) {
        case korva::platform::Wow64State::CallFailed:
            Print(L"Error: Failed to determine if the process is Wow64\n");
            Print(L"Error: Bitness check failed.\n");
            return false;
        case korva::platform::Wow64State::Wow64:
            Print(L"Error: Bitness check failed.\n");
            return false;
        case korva::platform::Wow64State::FunctionMissing:
        case korva::platform::Wow64State::Native:
            return true;
    }
    return true;
}

}  // namespace

bool Run(const Options& options) {
    Print(L"Creating kernel mode catalog database:\n");
    Print(L"\tOverride bitness check: %s\n", BoolText(options.overrideBitnessCheck));
    Print(L"\tRegistry key check: %s\n", BoolText(options.registryKeyCheck));
    if (options.registryKeyCheck) {
        Print(L"\tRegistry key: %s\n", options.registryKey.c_str());
        Print(L"\tRegistry value: %s\n", options.registryValue.c_str());
    }
    Print(L"\tPath: %s\n", options.path.c_str());

    if (!options.overrideBitnessCheck && !PassesBitnessCheck()) return false;

    if (options.registryKeyCheck && !CheckRegistryKey(options)) {
        Print(L"Registry key check failed.\n");
        return true;
    }

    TarnVerifyTrustDriver::CCatalogDatabase* database = nullptr;
    TarnVerifyTrustDriver::HResult status = TarnVerifyTrustDriver::CreateCatalogDatabase(options.path.c_str(), &database);
    if (TarnVerifyTrustDriver::Failed(status)) {
        trace::Emit(trace::Source::Engine, 18, trace::Level::Error, {trace::Num(static_cast<uint32_t>(status))});
        Print(L"Failed to create kenerl mode catalog database: error %x\n", static_cast<unsigned>(status));
        return false;
    }
    if (auto* engine = TarnVerifyTrustDriver::CCatalogDatabaseSingleton::Instance()) engine->RunUpdateCycle();
    status = TarnVerifyTrustDriver::ReleaseCatalogDatabase(database);
    if (TarnVerifyTrustDriver::Failed(status)) {
        trace::Emit(trace::Source::Engine, 20, trace::Level::Error, {trace::Num(static_cast<uint32_t>(status))});
    }
    Print(L"Kenerl mode catalog database created at %s\n", options.path.c_str());
    return true;
}

int EntryPoint(int argc, const wchar_t* const* argv) {
    Print(L"For usage: execute \"KorvaCatalogDB /?\"\n\n");
    std::unique_ptr<Options> options;
    bool installerArgument = false;
    if (!ParseArguments(argc, argv, options, installerArgument)) return 1;
    if (installerArgument) return 0;
    if (!options) return 1;
    Options copy = *options;
    return Run(copy) ? 0 : 1;
}

}  // namespace CatalogDB
