#include "platform/RegFile.h"

#include <span>
#include <utility>

#include "platform/ByteReader.h"
#include "platform/TextCursor.h"
#include "platform/Registry.h"
#include "platform/TextConversion.h"

namespace korva::platform {

namespace {

constexpr std::wstring_view kHeaders[] = {L"Windows Registry Editor Version 5.00", L"REGEDIT4"};

struct RootName {
    std::wstring_view full;
    std::wstring_view abbreviation;
};
constexpr RootName kRoots[] = {
    {L"HKEY_LOCAL_MACHINE", L"HKLM"}, {L"HKEY_CURRENT_USER", L"HKCU"}, {L"HKEY_CLASSES_ROOT", L"HKCR"},
    {L"HKEY_USERS", L"HKU"},          {L"HKEY_CURRENT_CONFIG", L"HKCC"},
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}
bool IsHex(wchar_t c) { return HexValue(c) >= 0; }

uint32_t HexNumber(std::span<const wchar_t> digits) {
    uint32_t value = 0;
    for (wchar_t digit : digits) value = (value << 4) | static_cast<uint32_t>(HexValue(digit));
    return value;
}

std::span<const wchar_t> Units(std::wstring_view text) { return {text.data(), text.size()}; }
std::wstring_view Text(std::span<const wchar_t> units) { return {units.data(), units.size()}; }

std::wstring DecodeText(const uint8_t* bytes, size_t size) {
    static constexpr uint8_t kUtf16Bom[] = {0xFF, 0xFE};
    static constexpr uint8_t kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
    ByteReader reader(bytes, size);
    if (reader.SkipPrefix(kUtf16Bom)) return Utf16LeToWide(reader.Rest().data(), reader.Rest().size());
    (void)reader.SkipPrefix(kUtf8Bom);  // optional
    return Utf8ToWide({reinterpret_cast<const char*>(reader.Rest().data()), reader.Rest().size()});
}

// Lines end with LF, optionally preceded by CR; numbered from 1.
class LineReader {
public:
    explicit LineReader(std::wstring_view text) : cursor_(text.data(), text.size()) {}
    bool Next(std::wstring_view& line) {
        if (cursor_.AtEnd()) return false;
        line = Text(cursor_.TakeWhile([](wchar_t c) { return c != L'\n'; }));
        cursor_.Skip(L'\n');
        if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
        ++number_;
        return true;
    }
    uint32_t number() const { return number_; }

private:
    TextCursor cursor_;
    uint32_t number_ = 0;
};

class Parser {
public:
    Parser(std::wstring_view text, RegTree& tree) : lines_(text), tree_(tree) {}

    RegFileStatus Run() {
        std::wstring_view line;
        while (lines_.Next(line)) {
            RegFileError error = ParseLine(line);
            if (error != RegFileError::None) return {error, lines_.number()};
        }
        if (!sawHeader_) return {RegFileError::MissingHeader, lines_.number()};
        return {};
    }

private:
    RegFileError ParseLine(std::wstring_view line) {
        TextCursor cursor(line.data(), line.size());
        cursor.TakeWhile(IsBlank);
        wchar_t first = 0;
        if (!cursor.Peek(first)) return RegFileError::None;
        if (!sawHeader_) return ParseHeader(Text(cursor.Rest()));
        if (first == L';') return RegFileError::None;
        if (first == L'[') return ParseKeyLine(cursor);
        if (first == L'"' || first == L'@') return ParseValueLine(cursor);
        return RegFileError::UnexpectedLine;
    }

    RegFileError ParseHeader(std::wstring_view text) {
        text = text.substr(0, text.find_last_not_of(L" \t") + 1);
        for (std::wstring_view header : kHeaders) {
            if (text == header) {
                sawHeader_ = true;
                return RegFileError::None;
            }
        }
        return RegFileError::MissingHeader;
    }

    RegFileError ParseKeyLine(TextCursor& cursor) {
        cursor.Skip(L'[');
        bool remove = cursor.Skip(L'-');
        std::wstring_view rest = Text(cursor.Rest());
        size_t last = rest.find_last_not_of(L" \t");
        // The last "]" closes the name: key names may contain "]" themselves.
        if (last == std::wstring_view::npos || rest[last] != L']') return RegFileError::UnterminatedKeyName;
        std::wstring path;
        RegFileError error = FoldKeyPath(rest.substr(0, last), path);
        if (error != RegFileError::None) return error;
        current_ = nullptr;
        if (remove) {
            RemoveKey(path);
            return RegFileError::None;
        }
        return AddKey(path);
    }

    static RegFileError FoldKeyPath(std::wstring_view raw, std::wstring& path) {
        if (raw.size() > kMaxRegKeyPathLength) return RegFileError::KeyNameTooLong;
        bool root = true;
        while (true) {
            size_t end = raw.find(L'\\');
            std::wstring_view component = raw.substr(0, end);
            if (component.empty()) return RegFileError::EmptyKeyComponent;
            if (component.size() > kMaxRegKeyNameLength) return RegFileError::KeyNameTooLong;
            if (root) {
                RegFileError error = AppendRoot(component, path);
                if (error != RegFileError::None) return error;
                root = false;
            } else {
                path += L'\\';
                path += FoldRegistryName(component);
            }
            if (end == std::wstring_view::npos) return RegFileError::None;
            raw.remove_prefix(end + 1);
        }
    }

    static RegFileError AppendRoot(std::wstring_view name, std::wstring& path) {
        for (const RootName& root : kRoots) {
            if (EqualsIgnoreAsciiCase(name, root.full) || EqualsIgnoreAsciiCase(name, root.abbreviation)) {
                path = root.full;
                return RegFileError::None;
            }
        }
        return RegFileError::UnknownRootKey;
    }

    // Creates the key and every missing ancestor, as an import does. The
    // ancestors of a key that exists exist too, so the walk up stops at the
    // first key found: a line costs one lookup plus one per key it creates,
    // never one per ancestor.
    RegFileError AddKey(const std::wstring& path) {
        auto key = tree_.keys.find(path);
        if (key == tree_.keys.end()) {
            std::vector<size_t> missing = {path.size()};  // prefix lengths, deepest first
            for (size_t end = path.rfind(L'\\'); end != std::wstring::npos; end = path.rfind(L'\\', end - 1)) {
                if (tree_.keys.contains(path.substr(0, end))) break;
                missing.push_back(end);
            }
            if (missing.size() > kMaxRegKeys - tree_.keys.size()) return RegFileError::TooManyKeys;
            for (auto end = missing.rbegin(); end != missing.rend(); ++end) {
                key = tree_.keys.emplace(path.substr(0, *end), RegKeyEntry{}).first;
            }
        }
        current_ = &key->second;
        return RegFileError::None;
    }

    // Subkeys do not follow their key directly in the map ("T2" sorts
    // between "T" and "T\SUB"), so they are a range of their own.
    void RemoveKey(const std::wstring& path) {
        if (auto key = tree_.keys.find(path); key != tree_.keys.end()) {
            tree_.valueCount -= key->second.values.size();
            tree_.keys.erase(key);
        }
        std::wstring below = path + L'\\';
        auto first = tree_.keys.lower_bound(below);
        auto last = first;
        for (; last != tree_.keys.end() && last->first.starts_with(below); ++last) {
            tree_.valueCount -= last->second.values.size();
        }
        tree_.keys.erase(first, last);
    }

    RegFileError ParseValueLine(TextCursor& cursor) {
        if (current_ == nullptr) return RegFileError::ValueOutsideKey;
        std::wstring name;
        if (!cursor.Skip(L'@')) {
            RegFileError error = ParseQuoted(cursor, kMaxRegValueNameLength, RegFileError::ValueNameTooLong, name);
            if (error != RegFileError::None) return error;
        }
        cursor.TakeWhile(IsBlank);
        if (!cursor.Skip(L'=')) return RegFileError::MissingEquals;
        cursor.TakeWhile(IsBlank);
        std::wstring folded = FoldRegistryName(name);
        if (cursor.Skip(L'-')) {
            tree_.valueCount -= current_->values.erase(folded);
            return ExpectEnd(cursor);
        }
        RegValue value;
        RegFileError error = ParseData(cursor, value);
        if (error != RegFileError::None) return error;
        auto [slot, added] = current_->values.try_emplace(std::move(folded));
        if (added && tree_.valueCount >= kMaxRegValues) {
            current_->values.erase(slot);
            return RegFileError::TooManyValues;
        }
        tree_.valueCount += added ? 1 : 0;
        slot->second = std::move(value);
        return RegFileError::None;
    }

    // A double-quoted string with the escapes \\ and \".
    static RegFileError ParseQuoted(TextCursor& cursor, size_t limit, RegFileError tooLong, std::wstring& out) {
        if (!cursor.Skip(L'"')) return RegFileError::UnexpectedLine;
        wchar_t c = 0;
        while (cursor.Next(c)) {
            if (c == L'"') return RegFileError::None;
            if (c == L'\\') {
                if (!cursor.Next(c)) break;
                if (c != L'\\' && c != L'"') return RegFileError::BadEscape;
            }
            if (out.size() >= limit) return tooLong;
            out.push_back(c);
        }
        return RegFileError::UnterminatedString;
    }

    RegFileError ParseData(TextCursor& cursor, RegValue& value) {
        static constexpr std::wstring_view kDword = L"dword:";
        static constexpr std::wstring_view kHex = L"hex:";
        static constexpr std::wstring_view kTypedHex = L"hex(";
        wchar_t first = 0;
        if (cursor.Peek(first) && first == L'"') {
            std::wstring text;
            RegFileError error = ParseQuoted(cursor, kMaxRegValueBytes / 2 - 1, RegFileError::ValueTooLarge, text);
            if (error != RegFileError::None) return error;
            std::string bytes = WideToUtf16Le(text);
            value.type = kRegSz;
            value.data.assign(bytes.begin(), bytes.end());
            value.data.insert(value.data.end(), 2, 0);
            return ExpectEnd(cursor);
        }
        if (cursor.SkipPrefix(Units(kDword))) {
            std::span<const wchar_t> digits = cursor.TakeWhile(IsHex);
            if (digits.empty() || digits.size() > 8) return RegFileError::BadDword;
            uint32_t number = HexNumber(digits);
            value.type = kRegDword;
            value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                          static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
            return ExpectEnd(cursor);
        }
        if (cursor.SkipPrefix(Units(kHex))) {
            value.type = kRegBinary;
            return ParseHexList(cursor, value.data);
        }
        if (cursor.SkipPrefix(Units(kTypedHex))) {
            std::span<const wchar_t> digits = cursor.TakeWhile(IsHex);
            if (digits.empty() || digits.size() > 8 || !cursor.Skip(L')') || !cursor.Skip(L':')) {
                return RegFileError::BadHexType;
            }
            value.type = HexNumber(digits);
            return ParseHexList(cursor, value.data);
        }
        return RegFileError::UnknownValueType;
    }

    // "01,ab, 2" with "\" at the end of a line (after a comma) continuing it
    // on the next.
    RegFileError ParseHexList(TextCursor cursor, std::vector<uint8_t>& out) {
        bool expectByte = true;  // at the start or after a comma
        while (true) {
            cursor.TakeWhile(IsBlank);
            wchar_t c = 0;
            if (!cursor.Peek(c) || c == L';') return RegFileError::None;
            if (c == L'\\' && expectByte) {
                cursor.Skip(L'\\');
                if (RegFileError error = ExpectEnd(cursor); error != RegFileError::None) return error;
                std::wstring_view next;
                if (!lines_.Next(next)) return RegFileError::ContinuationAtEnd;
                cursor = TextCursor(next.data(), next.size());
                continue;
            }
            std::span<const wchar_t> digits = cursor.TakeWhile(IsHex);
            if (!expectByte || digits.empty() || digits.size() > 2) return RegFileError::BadHexByte;
            if (out.size() >= kMaxRegValueBytes) return RegFileError::ValueTooLarge;
            out.push_back(static_cast<uint8_t>(HexNumber(digits)));
            cursor.TakeWhile(IsBlank);
            expectByte = cursor.Skip(L',');
        }
    }

    // Blanks and an optional comment may end a line.
    static RegFileError ExpectEnd(TextCursor& cursor) {
        cursor.TakeWhile(IsBlank);
        wchar_t c = 0;
        return (!cursor.Peek(c) || c == L';') ? RegFileError::None : RegFileError::TrailingText;
    }

    LineReader lines_;
    RegTree& tree_;
    RegKeyEntry* current_ = nullptr;
    bool sawHeader_ = false;
};

}  // namespace

const char* RegFileErrorName(RegFileError error) {
    switch (error) {
        case RegFileError::None: return "none";
        case RegFileError::Unreadable: return "file unreadable";
        case RegFileError::TooLarge: return "file too large";
        case RegFileError::MissingHeader: return "missing header";
        case RegFileError::UnexpectedLine: return "unexpected line";
        case RegFileError::UnterminatedKeyName: return "unterminated key name";
        case RegFileError::TrailingText: return "trailing text";
        case RegFileError::UnknownRootKey: return "unknown root key";
        case RegFileError::EmptyKeyComponent: return "empty key name component";
        case RegFileError::KeyNameTooLong: return "key name too long";
        case RegFileError::ValueOutsideKey: return "value outside a key";
        case RegFileError::UnterminatedString: return "unterminated string";
        case RegFileError::BadEscape: return "bad escape";
        case RegFileError::ValueNameTooLong: return "value name too long";
        case RegFileError::MissingEquals: return "missing '='";
        case RegFileError::UnknownValueType: return "unknown value type";
        case RegFileError::BadDword: return "bad dword";
        case RegFileError::BadHexType: return "bad hex(N) type";
        case RegFileError::BadHexByte: return "bad hex byte";
        case RegFileError::ContinuationAtEnd: return "continuation at end of file";
        case RegFileError::ValueTooLarge: return "value too large";
        case RegFileError::TooManyKeys: return "too many keys";
        case RegFileError::TooManyValues: return "too many values";
        case RegFileError::OutOfMemory: return "out of memory";
    }
    return "unknown";
}

std::wstring FoldRegistryName(std::wstring_view name) {
    std::wstring folded(name);
    for (wchar_t& c : folded) c = AsciiUpper(c);
    return folded;
}

RegFileStatus ParseRegFile(const uint8_t* bytes, size_t size, RegTree& tree) {
    if (size > kMaxRegFileBytes) return {RegFileError::TooLarge, 0};
    try {
        RegTree parsed;
        RegFileStatus status = Parser(DecodeText(bytes, size), parsed).Run();
        if (status.ok()) tree = std::move(parsed);
        return status;
    } catch (...) {
        return {RegFileError::OutOfMemory, 0};
    }
}

}  // namespace korva::platform
