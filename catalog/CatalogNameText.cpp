#include "catalog/CatalogNameText.h"

#include "catalog/CertResult.h"
#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "toolkit/Name.h"

namespace TarnVerifyTrustDriver {

namespace {

using korva::toolkit::NameAttribute;

constexpr uint8_t kCommonName[] = {0x55, 0x04, 0x03};
constexpr uint8_t kOrganizationalUnit[] = {0x55, 0x04, 0x0B};
constexpr uint32_t kBmpString = 30;

bool IsStringType(uint32_t tag) {
    return tag == 3 || tag == 4 || tag == 12 || (tag >= 18 && tag <= 22) || (tag >= 25 && tag <= 30);
}

bool TypeIs(const NameAttribute& attribute, const uint8_t (&oid)[3]) {
    return attribute.typeLength == 3 && attribute.type[0] == oid[0] && attribute.type[1] == oid[1] &&
           attribute.type[2] == oid[2];
}

// UTF-8 of a big-endian UCS-2 value into `out` (null: only measured); the
// number of octets. A trailing odd octet is dropped.
uint32_t BmpToUtf8(const NameAttribute& attribute, korva::platform::ByteWriter* out) {
    korva::platform::ByteReader reader(attribute.value, attribute.valueLength);
    uint32_t size = 0;
    uint16_t unit = 0;
    while (reader.ReadU16Be(unit)) {
        uint8_t octets[3];
        uint32_t count = 0;
        if (unit < 0x80) {
            octets[count++] = static_cast<uint8_t>(unit);
        } else if (unit < 0x800) {
            octets[count++] = static_cast<uint8_t>(0xC0 | (unit >> 6));
            octets[count++] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
        } else {
            octets[count++] = static_cast<uint8_t>(0xE0 | (unit >> 12));
            octets[count++] = static_cast<uint8_t>(0x80 | ((unit >> 6) & 0x3F));
            octets[count++] = static_cast<uint8_t>(0x80 | (unit & 0x3F));
        }
        // The buffer was measured by the same loop, so the write fits.
        if (out != nullptr && !out->WriteBytes({octets, count})) return size;
        size += count;
    }
    return size;
}

}  // namespace

uint32_t CatalogNameText(const korva::toolkit::NameObject* name, CMemory& text) {
    uint32_t count = 0;
    if (korva::toolkit::NameCount(name, &count) != korva::toolkit::kOk) return kCertNoMatch;
    // A common name ends the search; a unit is held in case none follows.
    NameAttribute chosen{};
    bool found = false;
    for (uint32_t i = 0; i < count; ++i) {
        NameAttribute attribute{};
        if (korva::toolkit::NameGetAttribute(name, i, &attribute) != korva::toolkit::kOk) break;
        if (!IsStringType(attribute.stringType)) continue;
        bool common = TypeIs(attribute, kCommonName);
        if (!common && !TypeIs(attribute, kOrganizationalUnit)) continue;
        chosen = attribute;
        found = true;
        if (common) break;
    }
    if (!found) return kCertNoMatch;
    bool bmp = chosen.stringType == kBmpString;
    uint32_t size = (bmp ? BmpToUtf8(chosen, nullptr) : chosen.valueLength) + 1;
    if (!text.Allocate(size)) return kCertOutOfMemory;
    korva::platform::ByteWriter writer(text.bytes());
    bool written = bmp ? BmpToUtf8(chosen, &writer) + 1 == size : writer.WriteBytes({chosen.value, chosen.valueLength});
    return written && writer.WriteU8(0) ? kCertSuccess : kCertNoMatch;
}

}  // namespace TarnVerifyTrustDriver
