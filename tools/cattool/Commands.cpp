#include "tools/cattool/Commands.h"

#include <cstdint>
#include <cstdio>

#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "tools/cattool/DatabaseView.h"

namespace korva::cattool {

namespace {

constexpr Command kCommands[] = {
    {"dump", "CATDB", "show the header, entry counts, signer value table and records", 1, 1, RunDump, nullptr},
    {"check", "CATDB", "say whether the engine would keep CATDB, and the rule it breaks if not", 1, 1, RunCheck, nullptr},
    {"lookup", "CATDB (HASH | FILE)...", "say which catalog vouches for each hash or file, as the driver would",
     2, SIZE_MAX, RunLookup, nullptr},
    {"explain", "[--trust-test-root DER]... [--members] CATALOG.cat...",
     "verify each catalog as a build does and say why it is accepted or refused", 1, SIZE_MAX, RunExplain,
     L"--trust-test-root", L"--members"},
    {"compact", "CATDB", "rewrite CATDB without its superseded entries, replacing it only once the new file loads", 1,
     1, RunCompact, nullptr},
    {"build", "[--trust-test-root DER]... DIR", "build Cat.DB into DIR as \"KorvaCatalogDB /p DIR\" does", 1, SIZE_MAX,
     RunBuild, L"--trust-test-root"},
    {"watch", "[--trust-test-root DER]... DIR", "build, then rebuild on each catalog change until interrupted", 1,
     SIZE_MAX, RunWatch, L"--trust-test-root"},
};

constexpr const char* kExitCodes =
    "Exit codes:\n"
    "  0  dump, check: the file loads; lookup: every item is found; explain: every catalog is\n"
    "     accepted; build: Cat.DB was written, loads and holds every catalog the cycle accepted;\n"
    "     compact: the file was compacted or is as small as it can be; help, --help, --version\n"
    "  1  dump, check: the engine would discard the file and rebuild it; lookup: some item is not\n"
    "     found; explain: some catalog is refused\n"
    "  2  a usage error; a file that cannot be read; explain: some catalog cannot be read;\n"
    "     build: no Cat.DB, or one that does not load or lacks an accepted catalog;\n"
    "     lookup: a Cat.DB the engine would discard; compact: a file the engine would discard,\n"
    "     or a failure on the way, which leaves the file as it was\n";

std::string CommandLine(const Command& command) {
    char line[256];
    std::snprintf(line, sizeof line, "  %s %s\n      %s\n", command.name, command.operands, command.summary);
    return line;
}

std::string Usage() {
    std::string text =
        "Usage: KorvaCatalogTool [--json] [--verbose] <command> [--json] [--verbose] <operands>\n"
        "       KorvaCatalogTool help [COMMAND] | COMMAND --help | --version\n\nCommands:\n";
    for (const Command& command : kCommands) text += CommandLine(command);
    text +=
        "\n--json writes one JSON document instead of text (see tools/cattool/README.md);\n"
        "--verbose adds the verifier's internal detail (walk results, offsets, trace events).\n"
        "HASH is 40 or 64 hex digits (SHA-1 or SHA-256); anything else is a file name.\n\n";
    return text + kExitCodes;
}

std::string CommandUsage(const Command& command) {
    return std::string("Usage: KorvaCatalogTool ") + command.name + " [--json] [--verbose] " + command.operands + "\n\n" +
           command.summary + "\n\n" + kExitCodes;
}

const Command* FindCommand(const std::wstring& name) {
    for (const Command& command : kCommands) {
        if (platform::Utf8ToWide(command.name) == name) return &command;
    }
    return nullptr;
}

bool GlobalOption(const std::wstring& argument, Invocation& invocation) {
    if (argument == L"--json") return invocation.json = true;
    if (argument == L"--verbose") return invocation.verbose = true;
    return false;
}

int Help(const std::vector<std::wstring>& arguments, size_t next, CommandOutput& output) {
    if (next >= arguments.size()) {
        output.out = Usage();
        return kExitSuccess;
    }
    if (const Command* command = FindCommand(arguments[next])) {
        output.out = CommandUsage(*command);
        return kExitSuccess;
    }
    output.err = "KorvaCatalogTool: unknown command \"" + platform::WideToUtf8(arguments[next]) + "\"\n\n" + Usage();
    return kExitError;
}

}  // namespace

std::span<const Command> Commands() { return kCommands; }

std::string ReadError(const std::wstring& path, uint32_t error) {
    return "KorvaCatalogTool: " + platform::WideToUtf8(path) + ": cannot read: " + ErrorWords(error) + "\n";
}

std::string ErrorWords(uint32_t error) {
    return platform::ErrorText(error) + " (error " + std::to_string(error) + ")";
}

bool OpenDatabaseOperand(const std::wstring& path, DatabaseView& view, CommandOutput& output) {
    uint32_t error = 0;
    if (OpenDatabaseView(path, view, error)) return true;
    output.err = ReadError(path, error);
    return false;
}

int RunTool(const std::vector<std::wstring>& arguments, CommandOutput& output) {
    Invocation invocation;
    size_t first = 0;
    while (first < arguments.size() && GlobalOption(arguments[first], invocation)) ++first;
    if (first == arguments.size()) {
        output.err = Usage();
        return kExitError;
    }
    const std::wstring& name = arguments[first];
    if (name == L"--help" || name == L"-h" || name == L"/?") return Help(arguments, arguments.size(), output);
    if (name == L"help") return Help(arguments, first + 1, output);
    if (name == L"--version") {
        output.out = "KorvaCatalogTool " KORVA_TOOL_VERSION "\n";
        return kExitSuccess;
    }
    const Command* found = FindCommand(name);
    if (found == nullptr) {
        output.err = "KorvaCatalogTool: unknown command \"" + platform::WideToUtf8(name) + "\"\n\n" + Usage();
        return kExitError;
    }
    bool operandsOnly = false;
    for (size_t i = first + 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (!operandsOnly && GlobalOption(argument, invocation)) {
            continue;
        } else if (!operandsOnly && (argument == L"--help" || argument == L"-h")) {
            output.out = CommandUsage(*found);
            return kExitSuccess;
        } else if (!operandsOnly && found->valueOption != nullptr && argument == found->valueOption &&
                   i + 1 < arguments.size()) {
            invocation.operands.push_back(argument);
            invocation.operands.push_back(arguments[++i]);
        } else if (!operandsOnly && found->flagOption != nullptr && argument == found->flagOption) {
            invocation.operands.push_back(argument);
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
