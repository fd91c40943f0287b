// KorvaCatalogTool's commands: one row each in the table, which also gives the
// usage text, so adding a command is adding its row.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace korva::cattool {

struct DatabaseView;

inline constexpr int kExitSuccess = 0;   // loads / found
inline constexpr int kExitNegative = 1;  // would be discarded / not found
inline constexpr int kExitError = 2;     // usage error or unreadable input

// What a command writes; the entry function prints it.
struct CommandOutput {
    std::string out;  // UTF-8
    std::string err;
};

struct Invocation {
    std::vector<std::wstring> operands;
    bool json = false;
    bool verbose = false;  // internal detail too: walk results, offsets, trace events
};

struct Command {
    const char* name;
    const char* operands;  // for the usage text
    const char* summary;
    size_t minOperands;
    size_t maxOperands;
    int (*run)(const Invocation& invocation, CommandOutput& output);
    // An option that takes a value, kept among the operands with it; or null.
    const wchar_t* valueOption;
    // Options of this command alone that take no value, kept among the
    // operands for the command to read; or null.
    const wchar_t* flagOption = nullptr;
};

std::span<const Command> Commands();

int RunDump(const Invocation& invocation, CommandOutput& output);
int RunCheck(const Invocation& invocation, CommandOutput& output);
int RunLookup(const Invocation& invocation, CommandOutput& output);
int RunExplain(const Invocation& invocation, CommandOutput& output);
int RunBuild(const Invocation& invocation, CommandOutput& output);
int RunWatch(const Invocation& invocation, CommandOutput& output);
int RunCompact(const Invocation& invocation, CommandOutput& output);

// The whole program after the arguments are wide strings (without argv[0]).
int RunTool(const std::vector<std::wstring>& arguments, CommandOutput& output);

// Shared by the commands: "KorvaCatalogTool: <path>: <reason>" for a file
// that cannot be read.
std::string ReadError(const std::wstring& path, uint32_t error);
// A Win32 error code as the host words it, with the number: "Access denied
// (error 5)".
std::string ErrorWords(uint32_t error);

// Reads and loads the Cat.DB a command names; false with the reason in
// `output.err`.
bool OpenDatabaseOperand(const std::wstring& path, DatabaseView& view, CommandOutput& output);

}  // namespace korva::cattool
