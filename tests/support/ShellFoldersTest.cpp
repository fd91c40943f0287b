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
    const std::pair<const char*, int> sdk[] = {
        {"CSIDL_ADMINTOOLS", CSIDL_ADMINTOOLS}, {"CSIDL_ALTSTARTUP", CSIDL_ALTSTARTUP},
        {"CSIDL_APPDATA", CSIDL_APPDATA}, {"CSIDL_BITBUCKET", CSIDL_BITBUCKET},
        {"CSIDL_CDBURN_AREA", CSIDL_CDBURN_AREA}, {"CSIDL_COMMON_ADMINTOOLS", CSIDL_COMMON_ADMINTOOLS},
        {"CSIDL_COMMON_ALTSTARTUP", CSIDL_COMMON_ALTSTARTUP}, {"CSIDL_COMMON_APPDATA", CSIDL_COMMON_APPDATA},
        {"CSIDL_COMMON_DESKTOPDIRECTORY", CSIDL_COMMON_DESKTOPDIRECTORY},
        {"CSIDL_COMMON_DOCUMENTS", CSIDL_COMMON_DOCUMENTS}, {"CSIDL_COMMON_FAVORITES", CSIDL_COMMON_FAVORITES},
        {"CSIDL_COMMON_MUSIC", CSIDL_COMMON_MUSIC}, {"CSIDL_COMMON_OEM_LINKS", CSIDL_COMMON_OEM_LINKS},
        {"CSIDL_COMMON_PICTURES", CSIDL_COMMON_PICTURES}, {"CSIDL_COMMON_PROGRAMS", CSIDL_COMMON_PROGRAMS},
        {"CSIDL_COMMON_STARTMENU", CSIDL_COMMON_STARTMENU}, {"CSIDL_COMMON_STARTUP", CSIDL_COMMON_STARTUP},
        {"CSIDL_COMMON_TEMPLATES", CSIDL_COMMON_TEMPLATES}, {"CSIDL_COMMON_VIDEO", CSIDL_COMMON_VIDEO},
        {"CSIDL_COMPUTERSNEARME", CSIDL_COMPUTERSNEARME}, {"CSIDL_CONNECTIONS", CSIDL_CONNECTIONS},
        {"CSIDL_CONTROLS", CSIDL_CONTROLS}, {"CSIDL_COOKIES", CSIDL_COOKIES}, {"CSIDL_DESKTOP", CSIDL_DESKTOP},
        {"CSIDL_DESKTOPDIRECTORY", CSIDL_DESKTOPDIRECTORY}, {"CSIDL_DRIVES", CSIDL_DRIVES},
        {"CSIDL_FAVORITES", CSIDL_FAVORITES}, {"CSIDL_FONTS", CSIDL_FONTS}, {"CSIDL_HISTORY", CSIDL_HISTORY},
        {"CSIDL_INTERNET", CSIDL_INTERNET}, {"CSIDL_INTERNET_CACHE", CSIDL_INTERNET_CACHE},
        {"CSIDL_LOCAL_APPDATA", CSIDL_LOCAL_APPDATA}, {"CSIDL_MYMUSIC", CSIDL_MYMUSIC},
        {"CSIDL_MYPICTURES", CSIDL_MYPICTURES}, {"CSIDL_MYVIDEO", CSIDL_MYVIDEO}, {"CSIDL_NETHOOD", CSIDL_NETHOOD},
        {"CSIDL_NETWORK", CSIDL_NETWORK}, {"CSIDL_PERSONAL", CSIDL_PERSONAL}, {"CSIDL_PRINTERS", CSIDL_PRINTERS},
        {"CSIDL_PRINTHOOD", CSIDL_PRINTHOOD}, {"CSIDL_PROFILE", CSIDL_PROFILE},
        {"CSIDL_PROGRAM_FILES", CSIDL_PROGRAM_FILES}, {"CSIDL_PROGRAM_FILES_COMMON", CSIDL_PROGRAM_FILES_COMMON},
        {"CSIDL_PROGRAM_FILES_COMMONX86", CSIDL_PROGRAM_FILES_COMMONX86},
        {"CSIDL_PROGRAM_FILESX86", CSIDL_PROGRAM_FILESX86}, {"CSIDL_PROGRAMS", CSIDL_PROGRAMS},
        {"CSIDL_RECENT", CSIDL_RECENT}, {"CSIDL_RESOURCES", CSIDL_RESOURCES},
        {"CSIDL_RESOURCES_LOCALIZED", CSIDL_RESOURCES_LOCALIZED}, {"CSIDL_SENDTO", CSIDL_SENDTO},
        {"CSIDL_STARTMENU", CSIDL_STARTMENU}, {"CSIDL_STARTUP", CSIDL_STARTUP}, {"CSIDL_SYSTEM", CSIDL_SYSTEM},
        {"CSIDL_SYSTEMX86", CSIDL_SYSTEMX86}, {"CSIDL_TEMPLATES", CSIDL_TEMPLATES}, {"CSIDL_WINDOWS", CSIDL_WINDOWS},
    };
    for (const auto& [name, value] : sdk) {
        EXPECT_EQ(FindSpecialFolder(platform::Utf8ToWide(name))->value, static_cast<uint32_t>(value)) << name;
    }
}
#endif

}  // namespace
}  // namespace korva::support
