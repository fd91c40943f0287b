// DER building blocks for the generator: every element is assembled bottom-up
// as a byte vector, so a caller can splice, reorder or corrupt any piece
// before it is wrapped by its parent.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace korva::catgen {

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kUniversal = 0x00;
inline constexpr uint8_t kConstructed = 0x20;
inline constexpr uint8_t kContext = 0x80;

// One element with a definite length over `content`.
Bytes Tlv(uint8_t tagClass, uint32_t tag, const Bytes& content);
Bytes Concat(std::initializer_list<Bytes> parts);

Bytes Sequence(std::initializer_list<Bytes> children);
Bytes Set(std::initializer_list<Bytes> children);
// A SET OF in DER order: the encodings sorted as octet strings.
Bytes SortedSet(std::vector<Bytes> children);
// [n] EXPLICIT, or [n] IMPLICIT over constructed content.
Bytes ContextConstructed(uint32_t tag, const Bytes& content);

Bytes Oid(std::string_view dotted);
Bytes Null();
Bytes Integer(int64_t value);
// A non-negative INTEGER from big-endian magnitude octets.
Bytes UnsignedInteger(const Bytes& magnitude);
Bytes OctetString(const Bytes& octets);
Bytes BmpString(std::string_view ascii);
// UTCTime "YYMMDDhhmmssZ" or GeneralizedTime "YYYYMMDDhhmmssZ" of a time in
// seconds since 1970 UTC.
Bytes UtcTime(int64_t unixTime);
Bytes GeneralizedTime(int64_t unixTime);
Bytes AlgorithmIdentifier(std::string_view dotted, bool nullParameters = true);
// Attribute ::= SEQUENCE { type OID, values SET { value } }
Bytes Attribute(std::string_view dotted, const Bytes& value);

// The content octets of a DER element (what follows its header).
Bytes ContentOf(const Bytes& element);
// `depth` SEQUENCEs, each with a 6-octet header, nested around a NULL: built
// in one pass, as nesting Sequence calls would copy the inner levels each time.
Bytes NestedSequences(size_t depth);

}  // namespace korva::catgen
