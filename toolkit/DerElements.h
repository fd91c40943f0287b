// Identifier octets and small helpers the certificate parsers and encoders
// share. Reading keeps to ByteReader, writing to ByteWriter.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

namespace korva::toolkit::der {

// Identifier octets.
inline constexpr uint8_t kBoolean = 0x01;
inline constexpr uint8_t kInteger = 0x02;
inline constexpr uint8_t kBitString = 0x03;
inline constexpr uint8_t kOctetString = 0x04;
inline constexpr uint8_t kOid = 0x06;
inline constexpr uint8_t kUtcTime = 0x17;
inline constexpr uint8_t kGeneralizedTime = 0x18;
inline constexpr uint8_t kSequence = 0x30;
inline constexpr uint8_t kSet = 0x31;
inline constexpr uint8_t kContext = 0x80;
inline constexpr uint8_t kContextConstructed = 0xA0;

// Tag numbers and class bits, as ByteWriter::WriteDerHeader takes them.
inline constexpr uint32_t kTagInteger = 2;
inline constexpr uint32_t kTagOctetString = 4;
inline constexpr uint32_t kTagOid = 6;
inline constexpr uint32_t kTagSequence = 16;
inline constexpr uint32_t kTagSet = 17;
inline constexpr uint8_t kUniversal = 0x00;
inline constexpr uint8_t kConstructed = 0x20;

// The next element, when it carries `identifier` and a definite length
// (any form: the canonical check of certificates judges the forms).
inline bool ReadTagged(platform::ByteReader& reader, uint8_t identifier, platform::DerElement& element) {
    uint8_t next = 0;
    return reader.PeekU8(next) && next == identifier &&
           reader.ReadDerElement(element, platform::DerRules::kBer) == platform::DerError::kNone;
}

// The size of an element with minimal DER header.
inline size_t ElementSize(uint32_t tag, size_t contentLength) {
    return platform::ByteWriter::DerHeaderSize(tag, static_cast<uint32_t>(contentLength)) + contentLength;
}

}  // namespace korva::toolkit::der
