// KorvaCatalogTool's entry: wide arguments from Windows, UTF-8 ones converted
// on POSIX hosts; the commands' output is UTF-8.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/cattool/Commands.h"

namespace {

int Run(std::vector<std::wstring> arguments) {
#ifndef _WIN32
    // Names stored in kernel form need a system directory to be read back;
    // without a mounted one the engine's loader would refuse every name.
    setenv("KORVA_SYSTEM_DIR", "/Windows/System32", 0);
#endif
    korva::cattool::CommandOutput output;
    int code = korva::cattool::RunTool(arguments, output);
    std::fwrite(output.out.data(), 1, output.out.size(), stdout);
    std::fwrite(output.err.data(), 1, output.err.size(), stderr);
    return code;
}

}  // namespace

#ifdef _WIN32

#include <fcntl.h>
#include <io.h>

int wmain(int argc, wchar_t** argv) {
    // The same bytes on both hosts: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return Run(std::vector<std::wstring>(argv + 1, argv + argc));
}

#else

#include <clocale>

#include "platform/TextConversion.h"

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(korva::platform::Utf8ToWide(argv[i]));
    return Run(arguments);
}

#endif
