#include "support/ShellFolders.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <set>
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

TEST(SpecialFolders, UniqueNamesSortedAsWcsicmpSortsThem) {
    auto table = SpecialFolderTable();
    std::set<uint32_t> values;
    for (size_t i = 0; i < table.size(); ++i) {
        if (i > 0) {
            EXPECT_LT(platform::CompareIgnoreAsciiCase(table[i - 1].name, table[i].name), 0) << platform::WideToUtf8(table[i].name);
        }
        EXPECT_TRUE(values.insert(table[i].value).second) << platform::WideToUtf8(table[i].name);
        EXPECT_TRUE(table[i].name.starts_with(L"CSIDL_") || table[i].name.ends_with(L"_SILO_DATA"));
    }
}

TEST(SpecialFolders, BisectionFindsEveryRowInAnyCaseAndNothingElse) {
    for (const SpecialFolder& row : SpecialFolderTable()) {
        EXPECT_EQ(FindSpecialFolder(row.name), &row);
        EXPECT_EQ(FindSpecialFolder(Lower(row.name)), &row);
    }
    EXPECT_EQ(FindSpecialFolder(L"csidl_program_filesx64")->value, kProgramFilesX64);
    EXPECT_EQ(FindSpecialFolder(L"csidl_program_files_commonx64")->value, kCommonFilesX64);
    EXPECT_EQ(FindSpecialFolder(L"common_silo_data")->value, kCommonSiloData);
    EXPECT_EQ(FindSpecialFolder(L"local_silo_data")->value, kLocalSiloData);
    EXPECT_EQ(FindSpecialFolder(L"csidl_mydocuments"), nullptr) << "an SDK alias that is not in the table";
    EXPECT_EQ(FindSpecialFolder(L"csidl_"), nullptr);
    EXPECT_EQ(FindSpecialFolder(L""), nullptr);
    EXPECT_EQ(FindSpecialFolder(L"zzz"), nullptr);
}

#ifdef _WIN32
TEST(SpecialFolders, NumbersAreTheSdkOnes) {
#define KORVA_EXPECT_CSIDL(name) \
    EXPECT_EQ(FindSpecialFolder(platform::Utf8ToWide(#name))->value, static_cast<uint32_t>(name)) << #name
    KORVA_EXPECT_CSIDL(CSIDL_ADMINTOOLS);
    KORVA_EXPECT_CSIDL(CSIDL_ALTSTARTUP);
    KORVA_EXPECT_CSIDL(CSIDL_APPDATA);
    KORVA_EXPECT_CSIDL(CSIDL_BITBUCKET);
    KORVA_EXPECT_CSIDL(CSIDL_CDBURN_AREA);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_ADMINTOOLS);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_ALTSTARTUP);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_APPDATA);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_DESKTOPDIRECTORY);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_DOCUMENTS);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_FAVORITES);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_MUSIC);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_OEM_LINKS);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_PICTURES);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_PROGRAMS);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_STARTMENU);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_STARTUP);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_TEMPLATES);
    KORVA_EXPECT_CSIDL(CSIDL_COMMON_VIDEO);
    KORVA_EXPECT_CSIDL(CSIDL_COMPUTERSNEARME);
    KORVA_EXPECT_CSIDL(CSIDL_CONNECTIONS);
    KORVA_EXPECT_CSIDL(CSIDL_CONTROLS);
    KORVA_EXPECT_CSIDL(CSIDL_COOKIES);
    KORVA_EXPECT_CSIDL(CSIDL_DESKTOP);
    KORVA_EXPECT_CSIDL(CSIDL_DESKTOPDIRECTORY);
    KORVA_EXPECT_CSIDL(CSIDL_DRIVES);
    KORVA_EXPECT_CSIDL(CSIDL_FAVORITES);
    KORVA_EXPECT_CSIDL(CSIDL_FONTS);
    KORVA_EXPECT_CSIDL(CSIDL_HISTORY);
    KORVA_EXPECT_CSIDL(CSIDL_INTERNET);
    KORVA_EXPECT_CSIDL(CSIDL_INTERNET_CACHE);
    KORVA_EXPECT_CSIDL(CSIDL_LOCAL_APPDATA);
    KORVA_EXPECT_CSIDL(CSIDL_MYMUSIC);
    KORVA_EXPECT_CSIDL(CSIDL_MYPICTURES);
    KORVA_EXPECT_CSIDL(CSIDL_MYVIDEO);
    KORVA_EXPECT_CSIDL(CSIDL_NETHOOD);
    KORVA_EXPECT_CSIDL(CSIDL_NETWORK);
    KORVA_EXPECT_CSIDL(CSIDL_PERSONAL);
    KORVA_EXPECT_CSIDL(CSIDL_PRINTERS);
    KORVA_EXPECT_CSIDL(CSIDL_PRINTHOOD);
    KORVA_EXPECT_CSIDL(CSIDL_PROFILE);
    KORVA_EXPECT_CSIDL(CSIDL_PROGRAM_FILES);
    KORVA_EXPECT_CSIDL(CSIDL_PROGRAM_FILES_COMMON);
    KORVA_EXPECT_CSIDL(CSIDL_PROGRAM_FILES_COMMONX86);
    KORVA_EXPECT_CSIDL(CSIDL_PROGRAM_FILESX86);
    KORVA_EXPECT_CSIDL(CSIDL_PROGRAMS);
    KORVA_EXPECT_CSIDL(CSIDL_RECENT);
    KORVA_EXPECT_CSIDL(CSIDL_RESOURCES);
    KORVA_EXPECT_CSIDL(CSIDL_RESOURCES_LOCALIZED);
    KORVA_EXPECT_CSIDL(CSIDL_SENDTO);
    KORVA_EXPECT_CSIDL(CSIDL_STARTMENU);
    KORVA_EXPECT_CSIDL(CSIDL_STARTUP);
    KORVA_EXPECT_CSIDL(CSIDL_SYSTEM);
    KORVA_EXPECT_CSIDL(CSIDL_SYSTEMX86);
    KORVA_EXPECT_CSIDL(CSIDL_TEMPLATES);
    KORVA_EXPECT_CSIDL(CSIDL_WINDOWS);
#undef KORVA_EXPECT_CSIDL
}
#endif

}  // namespace
}  // namespace korva::support
