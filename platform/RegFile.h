// The .reg text format ("Windows Registry Editor Version 5.00" or "REGEDIT4")
// parsed into a tree of keys and values, host-independently. The POSIX host
// serves its read-only registry from it; tests and fuzzing use it directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace korva::platform {

// Limits that keep a hostile file from exhausting memory; real exports of
// one product's keys are far below them.
constexpr size_t kMaxRegFileBytes = 16u << 20;
constexpr size_t kMaxRegKeyNameLength = 255;     // one path component, as Windows
constexpr size_t kMaxRegKeyPathLength = 2048;    // a whole key path
constexpr size_t kMaxRegValueNameLength = 16383;
constexpr size_t kMaxRegValueBytes = 1u << 20;
constexpr size_t kMaxRegKeys = 16384;
constexpr size_t kMaxRegValues = 65536;

enum class RegFileError : uint8_t {
    None,
    Unreadable,           // the file could not be opened or read
    TooLarge,             // more than kMaxRegFileBytes
    MissingHeader,        // first non-blank line is not a known header
    UnexpectedLine,       // neither key, value, comment nor blank
    UnterminatedKeyName,  // "[" without a closing "]"
    TrailingText,         // something after a complete key or value
    UnknownRootKey,
    EmptyKeyComponent,    // "A\\B", a trailing "\" or "[]"
    KeyNameTooLong,
    ValueOutsideKey,      // a value before any key, or below a deleted key
    UnterminatedString,
    BadEscape,            // only \\ and \" exist
    ValueNameTooLong,
    MissingEquals,
    UnknownValueType,
    BadDword,             // dword: wants 1 to 8 hexadecimal digits
    BadHexType,           // hex(N): wants 1 to 8 hexadecimal digits and ")"
    BadHexByte,           // hex lists are 1 or 2 digit bytes separated by ","
    ContinuationAtEnd,    // a hex list continued with "\" on the last line
    ValueTooLarge,
    TooManyKeys,
    TooManyValues,
    OutOfMemory,
};
const char* RegFileErrorName(RegFileError error);

struct RegFileStatus {
    RegFileError error = RegFileError::None;
    uint32_t line = 0;  // 1-based line of the malformation
    bool ok() const { return error == RegFileError::None; }
};

struct RegValue {
    uint32_t type = 0;
    std::vector<uint8_t> data;  // as RegQueryValueExW returns it: strings are UTF-16LE with their NUL
};

struct RegKeyEntry {
    std::map<std::wstring, RegValue> values;  // by folded name; "" is the default value
};

// Keys by folded full path ("HKEY_LOCAL_MACHINE\SOFTWARE\X"); every ancestor
// of a key exists too, as after an import on Windows.
struct RegTree {
    std::map<std::wstring, RegKeyEntry> keys;
    size_t valueCount = 0;
};

// The lookup form of a key or value name: ASCII letters upper-cased, which is
// how Windows compares the names that products use.
std::wstring FoldRegistryName(std::wstring_view name);

// Parses a whole file (UTF-16LE with BOM, or UTF-8 with or without BOM). On
// success `tree` is replaced by what the file says; on failure it is left as
// it was, so that a half-read file never serves half of its facts.
RegFileStatus ParseRegFile(const uint8_t* bytes, size_t size, RegTree& tree);

}  // namespace korva::platform
