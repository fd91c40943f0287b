// The in-memory core of the isolate.ini reader: bytes to text, and the lookup
// of one key with the quirks installations rely on. No file access, so that
// tests and the fuzzer reach every branch directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace korva::support {

// UTF-16LE after an FF FE byte-order mark (with at least 3 bytes in all),
// otherwise multibyte text in the C runtime's current locale; a byte that the
// locale cannot convert is taken as its own code point. The text ends at the
// first NUL, as a C string does.
std::wstring DecodeIsolationIni(const uint8_t* bytes, size_t size);

// The value of `key` after the [isolation] section header, blanks and tabs
// trimmed; empty when absent. Lines end with CR LF. The header matches any
// section whose name starts with "isolation"; every later line is a
// candidate, also in later sections, and a line matches when it starts with
// the key (so "silo2=" answers "silo" when it comes first).
std::wstring FindIsolationIniValue(std::wstring_view text, std::wstring_view key);

}  // namespace korva::support
