#include "frontend/Usage.h"

#include "frontend/Console.h"

namespace CatalogDB {

void PrintUsage() {
    static const wchar_t* const kLines[] = {
        L"File Usage: KorvaCatalogDB <options>\n",
        L"    /?\n",
        L"        - Print usage\n",
        L"    /n\n",
        L"        - Allow 32 bit executable of this application to run on 64 bit OS\n",
        L"    /d\n",
        L"        - Check the \"PreprocessKorvaDB\" value (DWORD) under the \"ProductInfo\" registry key under the silo\n",
        L"        - The value must be a DWORD and non-zero in to have the catalog database created\n",
        L"        - use of this options override the /r and /v options\n",
        L"    /r <registry path>\n",
        L"    /v <registry value>\n",
        L"        - both options must be specified \n",
        L"        - require isolate.ini to access the silo registry key\n",
        L"        - Check the silo registry key and the registry value under this key\n",
        L"        - The value must be a DWORD and must be non-zero in to have the catalog database created\n",
        L"        - These options will be ignore if /d option is enabled\n",
        L"    /p <path>\n",
        L"        - path to the directory where the catalog database will be created\n",
        L"    /c\n",
        L"        - create the catalog database at the current directory\n",
        L"\n",
        L"Examples:\n",
        L"    KorvaCatalogDB\n",
        L"        - create the catalog database in the Tarnwick driver directory\n",
        L"    KorvaCatalogDB /r ProductInfo /v CatDB\n",
        L"        - create the catalog database in the Tarnwick driver directory\n",
        L"        - the database will be created if HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane\\<silo key>\\ProductInfo has a DWORD value CatDB and its value is not zero\n",
    };
    for (const wchar_t* line : kLines) Print(L"%s", line);
}

}  // namespace CatalogDB
