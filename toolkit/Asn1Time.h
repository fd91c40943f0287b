// UTCTime and GeneralizedTime contents as 32-bit unsigned seconds since
// 1970-01-01T00:00:00Z, the only time form certificates carry here.
#pragma once

#include <cstdint>

#include "platform/ByteReader.h"
#include "toolkit/Status.h"

namespace korva::toolkit {

// YYMMDDhhmm[ss] then Z or a +hhmm/-hhmm offset, nothing after it. YY below
// 50 is 20YY, from 50 on 19YY, so 50-69 cannot be represented; every year
// divisible by 4 is a leap year. A time before 1970 or one the format does
// not allow gives 1793.
Status UtcTimeToSeconds(platform::ByteSpan content, uint32_t* seconds);

// YYYYMMDDhhmm[ss][.fraction] then Z or an offset, years from 1970 with
// Gregorian leap years. A time after 2106-02-07T06:28:15Z converts to 0,
// which the caller tells apart from 1970 by the year it asked for.
Status GeneralizedTimeToSeconds(platform::ByteSpan content, uint32_t* seconds);

}  // namespace korva::toolkit
