// Runs the tool's commands in process, as its entry would.
#pragma once

#include <string>
#include <vector>

#include "tools/cattool/Commands.h"

namespace korva::cattool {

struct ToolRun {
    int code = 0;
    std::string out;
    std::string err;
};

inline ToolRun RunToolWith(const std::vector<std::wstring>& arguments) {
    CommandOutput output;
    int code = RunTool(arguments, output);
    return {code, output.out, output.err};
}

}  // namespace korva::cattool
