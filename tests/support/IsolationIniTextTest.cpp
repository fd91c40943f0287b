#include "support/IsolationIniText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/TextConversion.h"

namespace korva::support {
namespace {

std::wstring Decode(const std::string& bytes) {
    return DecodeIsolationIni(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(IsolationIniText, DecodesUtf16AfterTheByteOrderMarkUpToTheFirstNul) {
    std::string bytes = "\xff\xfe" + platform::WideToUtf16Le(L"[isolation]\r\nsilo=x");
    EXPECT_EQ(Decode(bytes), L"[isolation]\r\nsilo=x");
    EXPECT_EQ(Decode(bytes + std::string("\0\0tail", 6)), L"[isolation]\r\nsilo=x");
    EXPECT_EQ(Decode("\xff\xfe"), L"\u00ff\u00fe") << "two bytes are too few for UTF-16: multibyte, byte by byte";
}

TEST(IsolationIniText, DecodesMultibyteTextInTheCurrentLocale) {
    EXPECT_EQ(Decode(std::string("a=b\0c", 5)), L"a=b");
    EXPECT_EQ(Decode("\xe9"), L"\u00e9") << "an unconvertible byte stands for itself";
#ifndef _WIN32
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
        EXPECT_EQ(Decode("x=\xc3\xa9"), L"x=\u00e9");
        EXPECT_EQ(Decode("x=\xc3"), L"x=\u00c3") << "a cut sequence at the end";
    }
    std::setlocale(LC_CTYPE, saved.c_str());
#endif
}

struct Lookup {
    const wchar_t* text;
    const wchar_t* key;
    const wchar_t* expected;
};

TEST(IsolationIniText, FindsKeysWithTheReaderQuirks) {
    const Lookup cases[] = {
        {L"[isolation]\r\nsilo={A}\r\n", L"silo", L"{A}"},
        {L"[ISOLATION]\r\nSILO={A}", L"silo", L"{A}"},
        {L"  [isolation]  \r\n\t silo \t=\t {A} \t\r\n", L"silo", L"{A}"},
        {L"[isolation]\r\nsilo2={B}\r\nsilo={A}\r\n", L"silo", L"{B}"},
        {L"[isolation]\r\nsilo={A}=x\r\n", L"silo", L"{A}=x"},
        {L"[isolationX]\r\nsilo={A}\r\n", L"silo", L"{A}"},
        {L"[isolation ]\r\nsilo={A}\r\n", L"silo", L"{A}"},
        {L"[isolation]\r\n[other]\r\nreghive=Software\\X\r\n", L"reghive", L"Software\\X"},
        {L"[isolation]\r\n; silo={C}\r\n# silo={D}\r\n\r\nsilo={A}\r\n", L"silo", L"{A}"},
        {L"[isolation]\r\nsilo={A}\rrest\r\n", L"silo", L"{A}"},
        {L"[isolation]\r\nsilo\r\nsilo={A}\r\n", L"silo", L""},
        {L"[isolation]\r\nsilo=   \r\n", L"silo", L""},
        {L"silo={A}\r\n[isolation]\r\n", L"silo", L""},
        {L"[isolatio]\r\nsilo={A}\r\n", L"silo", L""},
        {L"[ isolation]\r\nsilo={A}\r\n", L"silo", L""},
        {L"[other]\r\nsilo={A}\r\n", L"silo", L""},
        {L"[isolation]\nsilo={A}\n", L"silo", L""},
        {L"", L"silo", L""},
    };
    for (const Lookup& c : cases) {
        EXPECT_EQ(FindIsolationIniValue(c.text, c.key), c.expected) << platform::WideToUtf8(c.text);
    }
}

}  // namespace
}  // namespace korva::support
