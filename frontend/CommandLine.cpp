#include "frontend/CommandLine.h"

#include <new>

#include "frontend/Console.h"
#include "frontend/Usage.h"
#include "platform/Process.h"
#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "support/PathExpansion.h"

namespace CatalogDB {

namespace {

using korva::platform::EqualsIgnoreAsciiCase;

constexpr const wchar_t* kInstallerArguments[] = {L"/uninstall", L"/upgrade", L"/patch", L"/patchapply", L"/rollback"};
constexpr const wchar_t* kDriverDirectoryToken = L"%TARNDRIVERS64%";
constexpr unsigned kOutOfMemoryStatus = 0x8007000Eu;

bool IsInstallerArgument(const wchar_t* argument) {
    for (const wchar_t* word : kInstallerArguments) {
        if (EqualsIgnoreAsciiCase(argument, word)) return true;
    }
    return false;
}

// The argument after an option that takes one; false when there is none.
bool TakeValue(int argc, const wchar_t* const* argv, int& index, std::wstring& value) {
    if (index + 1 >= argc) return false;
    value = argv[++index];
    return true;
}

}  // namespace

bool SetRegistryKeyCheck(Options& options, const std::wstring& key, const std::wstring& value) {
    if (key.empty()) {
        Print(L"Error: Fail to set up registry key check. Missing key.\n");
        return false;
    }
    if (value.empty()) {
        Print(L"Error: Fail to set up registry key check. Missing value.\n");
        return false;
    }
    options.registryKeyCheck = true;
    options.registryKey = key;
    options.registryValue = value;
    return true;
}

bool ResolveModuleDirectory(std::wstring& directory) {
    std::wstring path;
    uint32_t error = korva::platform::QueryModulePath(path);
    if (error != korva::platform::kErrorSuccess) {
        Print(L"Error: GetModuleFileName failed with %d\n", static_cast<int>(error));
        return false;
    }
    try {
        size_t separator = path.find_last_of(korva::platform::kPathSeparator);
        directory = separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
        return true;
    } catch (const std::bad_alloc&) {
        Print(L"Error: GetModuleFileName failed: %x\n", kOutOfMemoryStatus);
        return false;
    }
}

bool ParseArguments(int argc, const wchar_t* const* argv, std::unique_ptr<Options>& options, bool& installerArgument) {
    installerArgument = false;
    std::wstring path;
    std::wstring registryKey;
    std::wstring registryValue;
    bool sawOverride = false;
    bool sawDefaultCheck = false;
    bool pathToResolve = true;

    for (int i = 1; i < argc; ++i) {
        const wchar_t* argument = argv[i];
        if (EqualsIgnoreAsciiCase(argument, L"/?")) {
            PrintUsage();
            return false;
        } else if (EqualsIgnoreAsciiCase(argument, L"/n")) {
            sawOverride = true;
        } else if (EqualsIgnoreAsciiCase(argument, L"/d")) {
            sawDefaultCheck = true;
        } else if (EqualsIgnoreAsciiCase(argument, L"/r")) {
            if (!TakeValue(argc, argv, i, registryKey)) {
                Print(L"Error: missing <registry path> after /r options\n");
                return false;
            }
        } else if (EqualsIgnoreAsciiCase(argument, L"/v")) {
            if (!TakeValue(argc, argv, i, registryValue)) {
                Print(L"Error: missing <registry value> after /v options\n");
                return false;
            }
        } else if (EqualsIgnoreAsciiCase(argument, L"/p")) {
            pathToResolve = false;
            if (!TakeValue(argc, argv, i, path)) {
                Print(L"Error: missing <path> after /p options\n");
                return false;
            }
        } else if (EqualsIgnoreAsciiCase(argument, L"/c")) {
            pathToResolve = false;
            if (!ResolveModuleDirectory(path)) {
                Print(L"Error: Failded to resolve current module path\n");
                return false;
            }
        } else if (IsInstallerArgument(argument)) {
            Print(L"Encounter agrument %s. The application will exit without creating a catalog database.\n", argument);
            installerArgument = true;
            return true;
        } else {
            Print(L"Error: Unrecognized argument\n");
            return false;
        }
    }

    if (pathToResolve && !korva::support::ExpandPath(kDriverDirectoryToken, path)) {
        Print(L"Error: Failed to get Tarnwick driver path\n");
        return false;
    }

    options = std::make_unique<Options>();
    options->overrideBitnessCheck = sawOverride;
    options->path = path;

    if (sawDefaultCheck) {
        options->registryKeyCheck = true;
        options->registryKey = L"ProductInfo";
        options->registryValue = L"PreprocessKorvaDB";
        return true;
    }
    if (!registryKey.empty() && registryValue.empty()) {
        Print(L"Error: /r options requires /v option\n");
        return false;
    }
    if (registryKey.empty() && !registryValue.empty()) {
        Print(L"Error: /v options requires /r option\n");
        return false;
    }
    if (registryKey.empty()) return true;
    return SetRegistryKeyCheck(*options, registryKey, registryValue);
}

}  // namespace CatalogDB
