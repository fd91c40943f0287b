// The element-header codec: the identifier and length octets of one BER
// element, decoded for the engine's parser and the certificate decoders and
// encoded for the certificate encoders. Failures are reported through
// StatusReport with severity 2 and returned.
//
// Decoding accepts the short form, 1-4 long-form length octets and, for a
// constructed element, the indefinite form, whose contents are measured by
// walking the nested elements up to the end-of-contents octets 00 00.
#pragma once

#include <cstdint>

#include "platform/ByteReader.h"
#include "toolkit/Status.h"

namespace korva::toolkit {

struct ToolkitContext;

// Added to the identifier's class bits when the length was indefinite.
inline constexpr uint32_t kTagClassIndefinite = 0x200;
// The bits a caller may give EncodeHeader in `tagClass`.
inline constexpr uint32_t kEncodableTagClassBits = 0x1E0;

// What DecodeElementHeader finds: the element's content is the `len` octets
// behind the first `headerLength` octets of the input.
struct ElementHeader {
    uint32_t tag = 0;
    uint32_t tagClass = 0;  // identifier & 0xE0, plus kTagClassIndefinite
    uint32_t headerLength = 0;
    uint32_t len = 0;  // for the indefinite form: up to the end-of-contents octets
};

// The span form, for callers that step through a buffer with offsets.
// 1797 bad length form, 1798 input shorter than the header or the content,
// 1793 end of an indefinite-length element not found.
Status DecodeElementHeader(ToolkitContext* context, platform::ByteSpan input, ElementHeader& header);

// Decodes the first element of (inputBER, inputLen); any null argument
// gives 1799 with the argument's name.
Status DecodeHeader(ToolkitContext* context, const uint8_t* inputBER, uint32_t inputLen, uint32_t* tag,
                    uint32_t* tagClass, const uint8_t** value, uint32_t* len);

// Writes the element (header and the `valueLen` octets of `value`) into
// outputDER and its size into outputLen. A null outputDER only asks for the
// size; an output shorter than the element gives 1798. Universal tags must
// be 1-30; 8, 11, 16, 17 and 29 are always encoded constructed.
Status EncodeHeader(ToolkitContext* context, uint32_t tag, uint32_t tagClass, const uint8_t* value, uint32_t valueLen,
                    uint32_t outputSize, uint8_t* outputDER, uint32_t* outputLen);

// Wraps a primitive value in a new block of the memory service: on entry
// *outputDER and *outputLen give the content (null and 0 for an empty
// element), on success they give the whole element, which the caller frees
// with FreeBuffer; the content buffer stays the caller's. Constructed
// classes are refused ("tagClass").
Status EncodeToNew(ToolkitContext* context, uint32_t tag, uint32_t tagClass, uint8_t** outputDER, uint32_t* outputLen);

}  // namespace korva::toolkit
