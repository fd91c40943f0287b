// Process entry: wide arguments straight from Windows, UTF-8 ones converted on
// POSIX hosts.
#include "frontend/Run.h"

#ifdef _WIN32

int wmain(int argc, wchar_t** argv) { return CatalogDB::EntryPoint(argc, argv); }

#else

#include <clocale>
#include <string>
#include <vector>

#include "platform/TextConversion.h"

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "");  // multibyte isolate.ini text follows the user's locale
    std::vector<std::wstring> arguments;
    std::vector<const wchar_t*> pointers;
    for (int i = 0; i < argc; ++i) arguments.push_back(korva::platform::Utf8ToWide(argv[i]));
    for (const std::wstring& argument : arguments) pointers.push_back(argument.c_str());
    return CatalogDB::EntryPoint(argc, pointers.data());
}

#endif
