#include "tools/cattool/Text.h"

#include <cstdio>

namespace korva::cattool {

std::string Hex(std::span<const uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

std::optional<std::vector<uint8_t>> ParseDigestHex(std::string_view text) {
    if (text.size() != 40 && text.size() != 64) return std::nullopt;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        int high = digit(text[i]);
        int low = digit(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return bytes;
}

namespace {

// Days since 1970-01-01 to a civil date (proleptic Gregorian), by eras of
// 400 years so that it holds for any day a FILETIME can name.
void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

std::string Iso(int64_t seconds, uint32_t ticks) {
    int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    int64_t rest = seconds - days * 86400;
    int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02u", static_cast<long long>(year), month, day,
                  static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60), static_cast<unsigned>(rest % 60));
    std::string result = text;
    if (ticks != 0) {
        std::snprintf(text, sizeof text, ".%07u", ticks);
        result += text;
    }
    return result + "Z";
}

}  // namespace

std::string IsoFromFileTime(uint64_t ticks) {
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
    return Iso(static_cast<int64_t>(ticks / 10000000) - kSecondsFrom1601To1970, static_cast<uint32_t>(ticks % 10000000));
}

std::string IsoFromUnixSeconds(int64_t seconds) { return Iso(seconds, 0); }

std::optional<std::string> PrintableText(std::span<const uint8_t> bytes) {
    if (!bytes.empty() && bytes.back() == 0) bytes = bytes.first(bytes.size() - 1);
    if (bytes.empty()) return std::nullopt;
    for (size_t i = 0; i < bytes.size();) {
        uint8_t lead = bytes[i];
        if (lead < 0x20 || lead == 0x7F) return std::nullopt;
        size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
        if (length == 0 || (length == 2 && lead < 0xC2) || i + length > bytes.size()) return std::nullopt;
        for (size_t k = 1; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) return std::nullopt;
        }
        i += length;
    }
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> SignerFlagNames(uint32_t flags) {
    struct Bit {
        uint32_t mask;
        const char* name;
    };
    // What the catalog callback sets: 0x7 for a code-signing usage, 0x5 for
    // the maker's signing unit, the base bits for every verified signer.
    static constexpr Bit kBits[] = {
        {0x1, "eligible-signer"},          {0x2, "code-signing-usage"},      {0x4, "eligible-by-usage-or-unit"},
        {0x8, "maker-organisation"},       {0x10, "maker-signing-identity"}, {0x20, "system-component-usage"},
        {0x40, "hardware-driver-usage"},   {0x1000, "base-0x1000"},          {0x8000, "maker"},
        {0x10000, "base-0x10000"},         {0x20000, "revocation-checked"},
    };
    std::vector<std::string> names;
    for (uint32_t bit = 1; bit != 0; bit <<= 1) {
        if ((flags & bit) == 0) continue;
        const char* name = nullptr;
        for (const Bit& known : kBits) {
            if (known.mask == bit) name = known.name;
        }
        char unknown[16];
        std::snprintf(unknown, sizeof unknown, "0x%x", bit);
        names.emplace_back(name != nullptr ? name : unknown);
    }
    return names;
}

}  // namespace korva::cattool
