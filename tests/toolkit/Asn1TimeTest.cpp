#include "toolkit/Asn1Time.h"

#include <gtest/gtest.h>

#include <string>

namespace korva::toolkit {
namespace {

struct TimeCase {
    bool generalized;
    const char* text;
    Status status;
    uint32_t seconds;
};

platform::ByteSpan Span(const char* text) {
    return {reinterpret_cast<const uint8_t*>(text), std::char_traits<char>::length(text)};
}

TEST(Asn1Time, ConvertsBothFormsByTheirYearRules) {
    const TimeCase cases[] = {
        {false, "700101000000Z", kOk, 0},
        {false, "4912312359Z", kOk, 2524607940},           // 49 is 2049; seconds optional
        {false, "500101000000Z", kMalformedEncoding, 0},   // 1950 lies before 1970
        {false, "000229120000Z", kOk, 951825600},          // 2000 is a leap year
        {false, "490301000000+0100", kOk, 2498169600u - 3600},
        {false, "490301000000-0130", kOk, 2498169600u + 5400},
        {false, "690301000000Z", kMalformedEncoding, 0},
        {false, "700101000000+0100", kMalformedEncoding, 0},  // before 1970 in UTC
        {false, "010229000000Z", kMalformedEncoding, 0},
        {false, "991301000000Z", kMalformedEncoding, 0},
        {false, "990101240000Z", kMalformedEncoding, 0},
        {false, "990101000000", kMalformedEncoding, 0},
        {false, "990101000000Zx", kMalformedEncoding, 0},
        {false, "19990101000000Z", kMalformedEncoding, 0},
        {true, "19700101000000Z", kOk, 0},
        {true, "20380119031408Z", kOk, 0x80000000u},
        {true, "21060207062815Z", kOk, 0xFFFFFFFFu},
        {true, "21060207062816Z", kOk, 0},  // beyond 32 bits
        {true, "22000101000000Z", kOk, 0},
        {true, "21000229000000Z", kMalformedEncoding, 0},  // 2100 is not a leap year
        {true, "20000229000000.5Z", kOk, 951782400},
        {true, "20000229000000.Z", kMalformedEncoding, 0},
        {true, "19691231235959Z", kMalformedEncoding, 0},
        {true, "200001010000Z", kOk, 946684800},
    };
    for (const TimeCase& c : cases) {
        uint32_t seconds = 12345;
        Status status = c.generalized ? GeneralizedTimeToSeconds(Span(c.text), &seconds)
                                      : UtcTimeToSeconds(Span(c.text), &seconds);
        EXPECT_EQ(status, c.status) << c.text;
        if (c.status == kOk) {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        }
    }
}

}  // namespace
}  // namespace korva::toolkit
