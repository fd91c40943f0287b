// How the tool shows bytes, times and signer data, the same in its plain and
// its JSON output.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korva::cattool {

std::string Hex(std::span<const uint8_t> bytes);

// Lowercase or uppercase hex of exactly 20 or 32 bytes; nothing otherwise.
std::optional<std::vector<uint8_t>> ParseDigestHex(std::string_view text);

// A FILETIME (100 ns ticks since 1601) as ISO 8601 UTC, with the ticks below a
// second as seven fraction digits when there are any.
std::string IsoFromFileTime(uint64_t ticks);
// Seconds since 1970 as ISO 8601 UTC.
std::string IsoFromUnixSeconds(int64_t seconds);

// The bytes as text when they are UTF-8 without control characters (one
// trailing NUL, as name texts carry, is left out); nothing otherwise.
std::optional<std::string> PrintableText(std::span<const uint8_t> bytes);

// The names of the set bits of a record's signer flags, lowest first; bits
// without a name appear as "0x...".
std::vector<std::string> SignerFlagNames(uint32_t flags);

}  // namespace korva::cattool
