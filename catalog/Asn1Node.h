// One BER element as the walker reports it to a callback. The pointers lead
// into the walked buffer and are valid only during the callback.
#pragma once

#include <cstdint>

#include "runtime/Allocator.h"

namespace korva::toolkit {
struct ToolkitContext;
}

namespace TarnVerifyTrustDriver {

// Class and constructed bits of `tagClass`, and the indefinite-length mark.
inline constexpr uint32_t kAsn1ClassMask = 0xC0;
inline constexpr uint32_t kAsn1Universal = 0x00;
inline constexpr uint32_t kAsn1Application = 0x40;
inline constexpr uint32_t kAsn1ContextSpecific = 0x80;
inline constexpr uint32_t kAsn1Private = 0xC0;
inline constexpr uint32_t kAsn1Constructed = 0x20;
inline constexpr uint32_t kAsn1Indefinite = 0x200;

class Asn1Node : public TAllocator<Asn1Node> {
public:
    virtual ~Asn1Node() = default;

    bool Constructed() const { return (tagClass & kAsn1Constructed) != 0; }
    uint32_t Class() const { return tagClass & kAsn1ClassMask; }

    uint32_t tagClass = 0;  // identifier & 0xE0, plus kAsn1Indefinite
    uint32_t tag = 0;
    const uint8_t* value = nullptr;  // first content octet
    uint32_t len = 0;                // for the indefinite form: without the end-of-contents octets
    uint32_t headerLength = 0;       // identifier and length octets
    const uint8_t* start = nullptr;  // first identifier octet
    uint8_t depth = 0;               // 0 for the outermost element
    uint32_t index = 0;              // among the siblings inside the same enclosing element
    uint32_t offset = 0;             // of `start` from the beginning of the buffer
    uint32_t oidFlags = 0;           // known OIDs met inside the enclosing elements, this node included
    korva::toolkit::ToolkitContext* context = nullptr;
};

}  // namespace TarnVerifyTrustDriver
