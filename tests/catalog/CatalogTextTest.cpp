// The signer's name text and the countersignature's signing time.
#include <gtest/gtest.h>

#include "catalog/CatalogNameText.h"
#include "catalog/CatalogSigningTime.h"
#include "catalog/CertResult.h"
#include "tests/catalog/CatalogTestSupport.h"
#include "toolkit/Name.h"

namespace korva::catalog_test {
namespace {

using namespace TarnVerifyTrustDriver;
using korva::test::Tlv;

Bytes Rdn(uint8_t type, uint8_t stringTag, const Bytes& value) {
    return Tlv(0x31, Tlv(0x30, Concat({Tlv(0x06, {0x55, 0x04, type}), Tlv(stringTag, value)})));
}

struct NameCase {
    Bytes rdns;
    const char* text;  // null: no text
};

TEST(CatalogTextTest, NameTextTakesTheCommonNameOrTheLastUnit) {
    const Bytes unit = Rdn(0x0B, 0x0C, {'U', 'n', 'i', 't'});
    const Bytes bmp = Rdn(0x03, 0x1E, {0x00, 0x41, 0x00, 0xE9, 0x20, 0xAC});
    const NameCase cases[] = {
        {Concat({unit, bmp}), "A\xC3\xA9\xE2\x82\xAC"},
        {Concat({bmp, unit}), "A\xC3\xA9\xE2\x82\xAC"},
        {Concat({Rdn(0x0A, 0x13, {'O'}), unit}), "Unit"},
        {Concat({Rdn(0x0B, 0x13, {'A'}), Rdn(0x0B, 0x13, {'B'})}), "B"},
        {Rdn(0x0A, 0x13, {'O'}), nullptr},
    };
    for (const NameCase& c : cases) {
        Bytes der = Tlv(0x30, c.rdns);
        korva::toolkit::NameObject* name = nullptr;
        ASSERT_EQ(korva::toolkit::NameCreate(nullptr, &name), korva::toolkit::kOk);
        ASSERT_EQ(korva::toolkit::NameSetEncoding(name, der.data(), uint32_t(der.size())), korva::toolkit::kOk);
        CMemory text;
        uint32_t result = CatalogNameText(name, text);
        korva::toolkit::NameFree(&name);
        if (c.text == nullptr) {
            EXPECT_EQ(result, kCertNoMatch);
            continue;
        }
        ASSERT_EQ(result, kCertSuccess);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.data()), text.size()), std::string(c.text) + '\0');
    }
}

struct TimeCase {
    const char* text;
    bool fourDigitYear;
    bool read;
    uint64_t seconds;
};

TEST(CatalogTextTest, SigningTimeReadsPairsOfDigits) {
    const TimeCase cases[] = {
        {"890101000000Z", false, true, 3755376000},  // 2089
        {"900101000000Z", false, true, 631152000},   // 1990
        {"010324010000Z", false, true, 985395600},
        {"20010324010000.5Z", true, true, 985395600},
        {"20000229235959Z", true, true, 951868799},
        {"20010229000000Z", true, true, 0},  // no such day
        {"19691231235959Z", true, true, 0},  // before 1970
        {"2001032401000Z", true, false, 0},
        {"01O324010000Z", false, false, 0},
    };
    for (const TimeCase& c : cases) {
        SCOPED_TRACE(c.text);
        uint64_t seconds = 99;
        std::string text(c.text);
        EXPECT_EQ(ReadSigningTime({reinterpret_cast<const uint8_t*>(text.data()), text.size() - 1}, c.fourDigitYear,
                                  seconds),
                  c.read);
        if (c.read) {
            EXPECT_EQ(seconds, c.seconds);
        }
    }
}

}  // namespace
}  // namespace korva::catalog_test
