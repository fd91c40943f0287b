// The POSIX host's registry, fed from .reg fixtures.
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/RegistryFixture.h"
#include "platform/Types.h"

namespace korva::platform {
namespace {

constexpr char kFixture[] =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Product]\n"
    "\"Name\"=\"native\"\n"
    "@=\"default\"\n"
    "\"Count\"=dword:00000007\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\System\\Setup]\n"
    "\"Name\"=\"system\"\n";

class Registry : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(testing::LoadRegistryFixture(kFixture).ok()); }

    // Opens, reads the string value `name` and closes again.
    static uint32_t ReadString(const wchar_t* path, uint32_t access, const wchar_t* name, std::wstring& value) {
        RegKey key = nullptr;
        uint32_t error = RegistryOpenKey(LocalMachineKey(), path, access, key);
        if (error != kErrorSuccess) return error;
        error = RegistryQueryString(key, name, value);
        EXPECT_EQ(RegistryCloseKey(key), kErrorSuccess);
        return error;
    }
};

struct ReadCase {
    const wchar_t* path;
    uint32_t access;
    const wchar_t* name;
    const wchar_t* value;
};

// The default value, the 64-bit view named, and a key outside Software in the
// 32-bit view. Names' case, REG_EXPAND_SZ and the 32-bit view of Software,
// relative opens below it included, run through PathExpansionTest.
TEST_F(Registry, ReadsThroughEitherView) {
    const ReadCase cases[] = {
        {L"Software\\Vendor\\Product", kKeyRead, nullptr, L"default"},
        {L"Software\\Vendor\\Product", kKeyRead | kKeyWow64_64Key, L"Name", L"native"},
        {L"System\\Setup", kKeyRead | kKeyWow64_32Key, L"Name", L"system"},
    };
    std::wstring value;
    for (const ReadCase& c : cases) {
        EXPECT_EQ(ReadString(c.path, c.access, c.name, value), kErrorSuccess);
        EXPECT_EQ(value, c.value);
    }
    RegKey key = nullptr;
    EXPECT_EQ(RegistryOpenKey(LocalMachineKey(), L"Software", kKeyRead | kKeyWow64_32Key | kKeyWow64_64Key, key),
              kErrorInvalidParameter);
}

TEST_F(Registry, ReportsSizesTypesAndErrorsAsWin32Does) {
    RegKey key = nullptr;
    ASSERT_EQ(RegistryOpenKey(LocalMachineKey(), L"Software\\Vendor\\Product", kKeyRead, key), kErrorSuccess);
    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(RegistryQueryValue(key, L"Count", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(size, 4u);
    uint32_t count = 0;
    EXPECT_EQ(RegistryQueryValue(key, L"Count", &type, reinterpret_cast<uint8_t*>(&count), &size), kErrorSuccess);
    EXPECT_EQ(count, 7u);

    uint8_t small[4] = {};
    size = sizeof(small);
    EXPECT_EQ(RegistryQueryValue(key, L"Big", &type, small, &size), kErrorMoreData);
    EXPECT_EQ(type, kRegQword);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(RegistryQueryValue(key, L"Missing", &type, small, &size), kErrorFileNotFound);
    EXPECT_EQ(RegistryQueryValue(key, L"Count", &type, small, nullptr), kErrorInvalidParameter);

    std::wstring text;
    EXPECT_EQ(RegistryQueryString(key, L"Count", text), kErrorUnsupportedType);
    EXPECT_EQ(RegistryCloseKey(key), kErrorSuccess);
    EXPECT_EQ(RegistryCloseKey(key), kErrorInvalidHandle);
    EXPECT_EQ(RegistryQueryValue(key, L"Count", &type, nullptr, &size), kErrorInvalidHandle);

    RegKey missing = nullptr;
    EXPECT_EQ(RegistryOpenKey(LocalMachineKey(), L"Software\\Nobody", kKeyRead, missing), kErrorFileNotFound);
    EXPECT_EQ(RegistryOpenKey(LocalMachineKey(), L"Software\\\\Vendor", kKeyRead, missing), kErrorFileNotFound);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(RegistryCloseKey(LocalMachineKey()), kErrorSuccess) << "predefined keys cannot be closed";
}

TEST_F(Registry, OpenKeysSeeTheNextFixture) {
    RegKey key = nullptr;
    ASSERT_EQ(RegistryOpenKey(LocalMachineKey(), L"System\\Setup", kKeyRead, key), kErrorSuccess);
    ASSERT_TRUE(testing::LoadRegistryFixture("Windows Registry Editor Version 5.00\n[HKLM\\Other]\n").ok());
    uint32_t size = 0;
    EXPECT_EQ(RegistryQueryValue(key, L"Name", nullptr, nullptr, &size), kErrorKeyDeleted);
    EXPECT_EQ(RegistryCloseKey(key), kErrorSuccess);

    EXPECT_FALSE(testing::LoadRegistryFixture("not a registry file").ok());
    EXPECT_EQ(RegistryOpenKey(LocalMachineKey(), L"Other", kKeyRead, key), kErrorFileNotFound)
        << "a fixture that fails to parse leaves an empty registry";
    // Reading and decoding a fixture file run through the sample registry
    // (PathExpansion) and RegFile's encodings; a file that cannot be read is named.
    const std::wstring missing = (std::filesystem::temp_directory_path() / "korva-no-such-registry.reg").wstring();
    EXPECT_EQ(testing::LoadRegistryFixtureFile(missing.c_str()).error, RegFileError::Unreadable);
}

}  // namespace
}  // namespace korva::platform
