#include "frontend/Console.h"

#include <cstdarg>
#include <cstdint>

#include "platform/Process.h"

namespace CatalogDB {

namespace {

void AppendUnsigned(std::wstring& out, uint32_t value, uint32_t base) {
    wchar_t digits[16];
    int count = 0;
    do {
        digits[count++] = L"0123456789abcdef"[value % base];
        value /= base;
    } while (value != 0);
    while (count > 0) out.push_back(digits[--count]);
}

std::wstring FormatList(const wchar_t* format, va_list args) {
    std::wstring out;
    for (const wchar_t* p = format; *p != L'\0'; ++p) {
        if (*p != L'%' || p[1] == L'\0') {
            out.push_back(*p);
            continue;
        }
        switch (*++p) {
            case L's': {
                const wchar_t* text = va_arg(args, const wchar_t*);
                out += text != nullptr ? text : L"(null)";
                break;
            }
            case L'd': {
                int value = va_arg(args, int);
                if (value < 0) out.push_back(L'-');
                AppendUnsigned(out, value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value), 10);
                break;
            }
            case L'x': AppendUnsigned(out, va_arg(args, unsigned), 16); break;
            default: out.push_back(*p); break;  // "%%" and anything unknown print the character
        }
    }
    return out;
}

}  // namespace

std::wstring FormatText(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatList(format, args);
    va_end(args);
    return text;
}

void Print(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatList(format, args);
    va_end(args);
    korva::platform::WriteStandardOutput(text);
}

}  // namespace CatalogDB
