// The signing time of a countersignature or time-stamp: a UTCTime or
// GeneralizedTime read as seconds since 1970-01-01 UTC.
#pragma once

#include <cstdint>

#include "platform/ByteReader.h"

namespace TarnVerifyTrustDriver {

// Reads year (2 digits, or 4 with `fourDigitYear`), month, day, hour, minute
// and second from the front of `text`, each two digits. False when a digit is
// missing; otherwise `seconds` is the time, or 0 for a calendar date that does
// not exist. A two-digit year below 90 is 20yy, otherwise 19yy.
bool ReadSigningTime(korva::platform::ByteSpan text, bool fourDigitYear, uint64_t& seconds);

}  // namespace TarnVerifyTrustDriver
