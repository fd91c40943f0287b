#include "support/ShellFolders.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <utility>
#include <string>

#include "platform/TextConversion.h"

#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#endif

namespace korva::support {
namespace {

std::wstring Lower(std::wstring_view text) {
    std::wstring lower(text);
    for (wchar_t& c : lower) c = platform::AsciiLower(c);
    return lower;
}

TEST(SpecialFolders, BisectionFindsEveryRowInAnyCaseAndNothingElse) {
    for (const SpecialFolder& row : SpecialFolderTable()) {
        EXPECT_EQ(FindSpecialFolder(row.name), &row);
        EXPECT_EQ(FindSpecialFolder(Lower(row.name)), &row);
    }
    EXPECT_EQ(FindSpecialFolder(L"local_silo_data")->value, kLocalSiloData);
    EXPECT_EQ(FindSpecialFolder(L"csidl_mydocuments"), nullptr) << "an SDK alias that is not in the table";
    EXPECT_EQ(FindSpecialFolder(L"csidl_"), nullptr);
    EXPECT_EQ(FindSpecialFolder(L""), nullptr);
    EXPECT_EQ(FindSpecialFolder(L"zzz"), nullptr);
}

#ifdef _WIN32
// The SDK's own numbers, for every CSIDL name of the table.
TEST(SpecialFolders, NumbersAreTheSdkOnes) {
#define ROW(name) std::pair<const char*, int>{"CSIDL_" #name, CSIDL_##name}
    const std::pair<const char*, int> sdk[] = {
        ROW(ADMINTOOLS), ROW(ALTSTARTUP), ROW(APPDATA), ROW(BITBUCKET), ROW(CDBURN_AREA), ROW(COMMON_ADMINTOOLS),
        ROW(COMMON_ALTSTARTUP), ROW(COMMON_APPDATA), ROW(COMMON_DESKTOPDIRECTORY), ROW(COMMON_DOCUMENTS),
        ROW(COMMON_FAVORITES), ROW(COMMON_MUSIC), ROW(COMMON_OEM_LINKS), ROW(COMMON_PICTURES), ROW(COMMON_PROGRAMS),
        ROW(COMMON_STARTMENU), ROW(COMMON_STARTUP), ROW(COMMON_TEMPLATES), ROW(COMMON_VIDEO), ROW(COMPUTERSNEARME),
        ROW(CONNECTIONS), ROW(CONTROLS), ROW(COOKIES), ROW(DESKTOP), ROW(DESKTOPDIRECTORY), ROW(DRIVES),
        ROW(FAVORITES), ROW(FONTS), ROW(HISTORY), ROW(INTERNET), ROW(INTERNET_CACHE), ROW(LOCAL_APPDATA),
        ROW(MYMUSIC), ROW(MYPICTURES), ROW(MYVIDEO), ROW(NETHOOD), ROW(NETWORK), ROW(PERSONAL), ROW(PRINTERS),
        ROW(PRINTHOOD), ROW(PROFILE), ROW(PROGRAM_FILES), ROW(PROGRAM_FILES_COMMON), ROW(PROGRAM_FILES_COMMONX86),
        ROW(PROGRAM_FILESX86), ROW(PROGRAMS), ROW(RECENT), ROW(RESOURCES), ROW(RESOURCES_LOCALIZED), ROW(SENDTO),
        ROW(STARTMENU), ROW(STARTUP), ROW(SYSTEM), ROW(SYSTEMX86), ROW(TEMPLATES), ROW(WINDOWS),
    };
#undef ROW
    for (const auto& [name, value] : sdk) {
        EXPECT_EQ(FindSpecialFolder(platform::Utf8ToWide(name))->value, static_cast<uint32_t>(value)) << name;
    }
}
#endif

}  // namespace
}  // namespace korva::support
