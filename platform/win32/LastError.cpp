#include <windows.h>

#include <iterator>

#include "platform/TextConversion.h"
#include "platform/Types.h"

namespace korva::platform {

uint32_t LastError() { return ::GetLastError(); }
void SetLastError(uint32_t error) { ::SetLastError(error); }

std::string ErrorText(uint32_t error) {
    wchar_t text[512] = {};
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                    static_cast<DWORD>(std::size(text)), nullptr);
    // The system's text ends in a line end, and often a full stop, which a
    // caller puts its own punctuation after.
    while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' || text[length - 1] == L' ' ||
                          text[length - 1] == L'.')) {
        --length;
    }
    if (length == 0) return "Unknown error";
    return WideToUtf8(std::wstring(text, length));
}

}  // namespace korva::platform
