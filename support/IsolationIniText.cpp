#include "support/IsolationIniText.h"

#include <algorithm>
#include <cwchar>

#include "platform/ByteReader.h"
#include "platform/TextConversion.h"

namespace korva::support {

namespace {

using platform::ByteReader;

constexpr std::wstring_view kSectionName = L"isolation";
constexpr std::wstring_view kBlanks = L" \t";

std::wstring_view TrimTrailing(std::wstring_view text) {
    size_t last = text.find_last_not_of(kBlanks);
    return last == std::wstring_view::npos ? std::wstring_view() : text.substr(0, last + 1);
}

std::wstring_view Trim(std::wstring_view text) {
    size_t first = text.find_first_not_of(kBlanks);
    return first == std::wstring_view::npos ? std::wstring_view() : TrimTrailing(text.substr(first));
}

// The C library's multibyte decoding; a byte it cannot decode stands for
// itself.
std::wstring DecodeMultibyte(ByteReader reader) {
    std::wstring text;
    std::mbstate_t state{};
    while (!reader.AtEnd()) {
        platform::ByteSpan rest = reader.Rest();
        wchar_t c = 0;
        size_t used = std::mbrtowc(&c, reinterpret_cast<const char*>(rest.data()), rest.size(), &state);
        if (used == 0) break;
        if (used == static_cast<size_t>(-1) || used == static_cast<size_t>(-2)) {
            uint8_t byte = 0;
            if (!reader.ReadU8(byte)) break;
            c = static_cast<wchar_t>(byte);
            state = std::mbstate_t{};
        } else if (!reader.Skip(used)) {
            break;
        }
        text.push_back(c);
    }
    return text;
}

}  // namespace

std::wstring DecodeIsolationIni(const uint8_t* bytes, size_t size) {
    static constexpr uint8_t kByteOrderMark[] = {0xFF, 0xFE};
    ByteReader reader(bytes, size);
    if (size >= 3 && reader.SkipPrefix(kByteOrderMark)) {
        std::wstring text = platform::Utf16LeToWide(reader.Rest().data(), reader.Rest().size());
        text.erase(std::min(text.find(L'\0'), text.size()));
        return text;
    }
    return DecodeMultibyte(reader);
}

std::wstring FindIsolationIniValue(std::wstring_view text, std::wstring_view key) {
    bool inSection = false;
    while (!text.empty()) {
        size_t end = text.find(L"\r\n");
        std::wstring_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 2);
        if (line.empty() || line.front() == L';' || line.front() == L'#') continue;
        if (!inSection) {
            if (line.front() == L'[') {
                std::wstring_view name = line.substr(1);
                inSection = platform::StartsWithIgnoreAsciiCase(TrimTrailing(name.substr(0, name.find(L']'))), kSectionName);
            }
            continue;
        }
        if (!platform::StartsWithIgnoreAsciiCase(line, key)) continue;
        size_t equals = line.find(L'=');
        if (equals == std::wstring_view::npos) return {};
        std::wstring_view value = line.substr(equals + 1);
        return std::wstring(Trim(value.substr(0, value.find(L'\r'))));
    }
    return {};
}

}  // namespace korva::support
