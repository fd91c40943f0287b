#include "tools/cattool/Commands.h"

#include <cstdint>
#include <cstdio>

#include "platform/TextConversion.h"
#include "tools/cattool/DatabaseView.h"

namespace korva::cattool {

namespace {

constexpr Command kCommands[] = {
    {"dump", "CATDB", "show the header, entry counts, signer value table and records", 1, 1, RunDump, nullptr},
    {"check", "CATDB", "say whether the engine would keep CATDB, and the rule it breaks if not", 1, 1, RunCheck, nullptr},
    {"lookup", "CATDB (HASH | FILE)...", "say which catalog vouches for each hash or file, as the driver would",
     2, SIZE_MAX, RunLookup, nullptr},
    {"explain", "CATALOG.cat...", "verify each catalog as a build does and say why it is accepted or refused", 1,
     SIZE_MAX, RunExplain, nullptr},
    {"build", "[--trust-test-root DER]... DIR", "build Cat.DB into DIR as \"KorvaCatalogDB /p DIR\" does", 1, SIZE_MAX,
     RunBuild, L"--trust-test-root"},
    {"watch", "[--trust-test-root DER]... DIR", "build, then rebuild on each catalog change until interrupted", 1,
     SIZE_MAX, RunWatch, L"--trust-test-root"},
};

std::string Usage() {
    std::string text = "Usage: KorvaCatalogTool <command> [--json] <operands>\n\nCommands:\n";
    for (const Command& command : kCommands) {
        char line[256];
        std::snprintf(line, sizeof line, "  %-8s %-24s %s\n", command.name, command.operands, command.summary);
        text += line;
    }
    text +=
        "\n--json writes one JSON document instead of text (see tools/cattool/README.md).\n"
        "HASH is 40 or 64 hex digits (SHA-1 or SHA-256); anything else is a file name.\n"
        "Exit codes: 0 loads, found or accepted, 1 would be discarded, not found or refused,\n"
        "2 usage or read error.\n";
    return text;
}

}  // namespace

std::span<const Command> Commands() { return kCommands; }

std::string ReadError(const std::wstring& path, uint32_t error) {
    return "KorvaCatalogTool: " + platform::WideToUtf8(path) + ": cannot read (error " + std::to_string(error) + ")\n";
}

bool OpenDatabaseOperand(const std::wstring& path, DatabaseView& view, CommandOutput& output) {
    uint32_t error = 0;
    if (OpenDatabaseView(path, view, error)) return true;
    output.err = ReadError(path, error);
    return false;
}

int RunTool(const std::vector<std::wstring>& arguments, CommandOutput& output) {
    if (arguments.empty()) {
        output.err = Usage();
        return kExitError;
    }
    if (arguments[0] == L"--help" || arguments[0] == L"-h" || arguments[0] == L"/?") {
        output.out = Usage();
        return kExitSuccess;
    }
    const Command* found = nullptr;
    for (const Command& command : kCommands) {
        if (platform::Utf8ToWide(command.name) == arguments[0]) found = &command;
    }
    if (found == nullptr) {
        output.err = "KorvaCatalogTool: unknown command \"" + platform::WideToUtf8(arguments[0]) + "\"\n\n" + Usage();
        return kExitError;
    }
    Invocation invocation;
    bool operandsOnly = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (!operandsOnly && argument == L"--json") {
            invocation.json = true;
        } else if (!operandsOnly && found->valueOption != nullptr && argument == found->valueOption &&
                   i + 1 < arguments.size()) {
            invocation.operands.push_back(argument);
            invocation.operands.push_back(arguments[++i]);
        } else if (!operandsOnly && argument == L"--") {
            operandsOnly = true;
        } else if (!operandsOnly && argument.size() > 1 && argument.starts_with(L"--")) {
            output.err = "KorvaCatalogTool: unknown option \"" + platform::WideToUtf8(argument) + "\"\n\n" + Usage();
            return kExitError;
        } else {
            invocation.operands.push_back(argument);
        }
    }
    size_t count = invocation.operands.size();
    if (count < found->minOperands || count > found->maxOperands) {
        output.err = std::string("KorvaCatalogTool: ") + found->name + " takes " + found->operands + "\n\n" + Usage();
        return kExitError;
    }
    return found->run(invocation, output);
}

}  // namespace korva::cattool
