#include "toolkit/Asn1Time.h"

namespace korva::toolkit {

namespace {

using platform::ByteReader;

constexpr uint64_t kSecondsPerDay = 86400;
constexpr uint64_t kLastRepresentable = 0xFFFFFFFF;  // 2106-02-07T06:28:15Z
constexpr uint32_t kLastRepresentableYear = 2106;
// UTCTime years 50-99 are 1950-1999 (X.509), so 50-69 lie before 1970.
constexpr uint32_t kFirstTwentiethCenturyYy = 50;

// Which years have 29 February.
enum class LeapRule { EveryFourth, Gregorian };

bool IsLeap(uint32_t year, LeapRule rule) {
    if (year % 4 != 0) return false;
    return rule == LeapRule::EveryFourth || year % 100 != 0 || year % 400 == 0;
}

uint32_t DaysInMonth(uint32_t year, uint32_t month, LeapRule rule) {
    static constexpr uint8_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year, rule) ? 29 : kDays[month - 1];
}

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

bool ReadDigits(ByteReader& reader, int count, uint32_t& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
        uint8_t c = 0;
        if (!reader.ReadU8(c) || !IsDigit(c)) return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return true;
}

// What follows the year in both forms: month, day, hour, minute, optional
// seconds (and, for GeneralizedTime, a fraction), then the zone.
struct Moment {
    uint32_t year = 0;
    uint32_t month = 0;
    uint32_t day = 0;
    uint32_t hour = 0;
    uint32_t minute = 0;
    uint32_t second = 0;
    int64_t offset = 0;  // seconds east of UTC
};

bool ReadZone(ByteReader& reader, Moment& moment) {
    uint8_t sign = 0;
    if (!reader.ReadU8(sign)) return false;
    if (sign == 'Z') return reader.AtEnd();
    if (sign != '+' && sign != '-') return false;
    uint32_t hours = 0;
    uint32_t minutes = 0;
    if (!ReadDigits(reader, 2, hours) || !ReadDigits(reader, 2, minutes) || hours > 23 || minutes > 59) return false;
    moment.offset = static_cast<int64_t>(hours * 3600 + minutes * 60) * (sign == '-' ? -1 : 1);
    return reader.AtEnd();
}

bool ReadRest(ByteReader& reader, Moment& moment, bool fractionAllowed) {
    if (!ReadDigits(reader, 2, moment.month) || !ReadDigits(reader, 2, moment.day) ||
        !ReadDigits(reader, 2, moment.hour) || !ReadDigits(reader, 2, moment.minute)) {
        return false;
    }
    uint8_t next = 0;
    if (reader.PeekU8(next) && IsDigit(next)) {
        if (!ReadDigits(reader, 2, moment.second)) return false;
        if (fractionAllowed && reader.PeekU8(next) && (next == '.' || next == ',')) {
            if (!reader.Skip(1)) return false;
            uint32_t digits = 0;
            while (reader.PeekU8(next) && IsDigit(next) && reader.Skip(1)) ++digits;
            if (digits == 0) return false;
        }
    }
    return ReadZone(reader, moment);
}

// Seconds since 1970 of a valid moment, or a negative number before 1970.
int64_t SecondsOf(const Moment& moment, LeapRule rule) {
    uint64_t days = 0;
    for (uint32_t year = 1970; year < moment.year; ++year) days += IsLeap(year, rule) ? 366 : 365;
    for (uint32_t month = 1; month < moment.month; ++month) days += DaysInMonth(moment.year, month, rule);
    days += moment.day - 1;
    uint64_t local = days * kSecondsPerDay + moment.hour * 3600u + moment.minute * 60u + moment.second;
    return static_cast<int64_t>(local) - moment.offset;
}

bool Valid(const Moment& moment, LeapRule rule) {
    return moment.month >= 1 && moment.month <= 12 && moment.day >= 1 &&
           moment.day <= DaysInMonth(moment.year, moment.month, rule) && moment.hour <= 23 && moment.minute <= 59 &&
           moment.second <= 59;
}

}  // namespace

Status UtcTimeToSeconds(platform::ByteSpan content, uint32_t* seconds) {
    ByteReader reader(content);
    Moment moment;
    uint32_t yy = 0;
    if (seconds == nullptr) return kInvalidArgument;
    if (!ReadDigits(reader, 2, yy) || !ReadRest(reader, moment, false)) return kMalformedEncoding;
    moment.year = yy < kFirstTwentiethCenturyYy ? 2000 + yy : 1900 + yy;
    if (moment.year < 1970 || !Valid(moment, LeapRule::EveryFourth)) return kMalformedEncoding;
    int64_t value = SecondsOf(moment, LeapRule::EveryFourth);
    if (value < 0) return kMalformedEncoding;
    *seconds = static_cast<uint32_t>(value);
    return kOk;
}

Status GeneralizedTimeToSeconds(platform::ByteSpan content, uint32_t* seconds) {
    ByteReader reader(content);
    Moment moment;
    if (seconds == nullptr) return kInvalidArgument;
    if (!ReadDigits(reader, 4, moment.year) || !ReadRest(reader, moment, true)) return kMalformedEncoding;
    if (moment.year < 1970 || !Valid(moment, LeapRule::Gregorian)) return kMalformedEncoding;
    // Years past 2106 all lie beyond 32 bits; no need to count their days.
    int64_t value = moment.year > kLastRepresentableYear ? -1 : SecondsOf(moment, LeapRule::Gregorian);
    if (moment.year > kLastRepresentableYear || value > static_cast<int64_t>(kLastRepresentable)) {
        *seconds = 0;
        return kOk;
    }
    if (value < 0) return kMalformedEncoding;
    *seconds = static_cast<uint32_t>(value);
    return kOk;
}

}  // namespace korva::toolkit
