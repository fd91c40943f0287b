#include "catalog/CatalogSigningTime.h"

namespace TarnVerifyTrustDriver {

namespace {

bool ReadPair(korva::platform::ByteReader& reader, uint32_t& value) {
    uint8_t high = 0, low = 0;
    if (!reader.ReadU8(high) || !reader.ReadU8(low)) return false;
    if (high < '0' || high > '9' || low < '0' || low > '9') return false;
    value = (high - '0') * 10u + (low - '0');
    return true;
}

bool IsLeap(uint32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, uint32_t month, uint32_t day) {
    year -= month <= 2 ? 1 : 0;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

}  // namespace

bool ReadSigningTime(korva::platform::ByteSpan text, bool fourDigitYear, uint64_t& seconds) {
    korva::platform::ByteReader reader(text);
    uint32_t century = 0, year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (fourDigitYear && !ReadPair(reader, century)) return false;
    if (!ReadPair(reader, year) || !ReadPair(reader, month) || !ReadPair(reader, day) || !ReadPair(reader, hour) ||
        !ReadPair(reader, minute) || !ReadPair(reader, second)) {
        return false;
    }
    year = fourDigitYear ? century * 100 + year : (year < 90 ? 2000 + year : 1900 + year);
    static constexpr uint8_t kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    seconds = 0;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return true;
    if (day > kMonthDays[month - 1] + (month == 2 && IsLeap(year) ? 1u : 0u)) return true;
    int64_t days = DaysFromCivil(year, month, day);
    seconds = static_cast<uint64_t>(days) * 86400 + hour * 3600u + minute * 60u + second;
    return true;
}

}  // namespace TarnVerifyTrustDriver
