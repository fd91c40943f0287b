#include "toolkit/RsaKeyDer.h"

#include <algorithm>

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

namespace korva::toolkit {

namespace {

using platform::ByteReader;
using platform::ByteWriter;

constexpr uint8_t kTagInteger = 0x02;
constexpr uint8_t kTagBitString = 0x03;
constexpr uint8_t kTagNull = 0x05;
constexpr uint8_t kTagOid = 0x06;
constexpr uint8_t kTagSequence = 0x30;
constexpr uint8_t kConstructed = platform::kDerConstructed;
// 1.2.840.113549.1.1.1
constexpr uint8_t kRsaEncryptionOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};

// `der` must be exactly one element with identifier `tag`.
bool ReadWhole(DerBytes der, uint8_t tag, DerBytes& contents) {
    ByteReader reader(der);
    return reader.ReadDerTagged(tag, contents) && reader.AtEnd();
}

// A minimal, positive INTEGER's content octets.
bool ReadPositiveInteger(ByteReader& reader, DerBytes& value) {
    if (!reader.ReadDerTagged(kTagInteger, value) || value.empty() || (value[0] & 0x80)) return false;
    return value.size() == 1 || value[0] != 0 || (value[1] & 0x80);
}

size_t IntegerContentSize(DerBytes value) { return value.size() + ((value[0] & 0x80) ? 1 : 0); }

size_t ElementSize(uint8_t tag, size_t content) {
    return ByteWriter::DerHeaderSize(tag & 0x1F, static_cast<uint32_t>(content)) + content;
}

bool WriteInteger(ByteWriter& writer, DerBytes value) {
    const size_t content = IntegerContentSize(value);
    return writer.WriteDerHeader(0, kTagInteger, static_cast<uint32_t>(content)) &&
           (content == value.size() || writer.WriteU8(0)) && writer.WriteBytes(value);
}

}  // namespace

DerResult ParseRsaPublicKey(DerBytes der, DerBytes& modulus, DerBytes& exponent) {
    DerBytes body;
    if (!ReadWhole(der, kTagSequence, body)) return DerResult::Malformed;
    ByteReader fields(body);
    if (!ReadPositiveInteger(fields, modulus) || !ReadPositiveInteger(fields, exponent) || !fields.AtEnd()) {
        return DerResult::Malformed;
    }
    return DerResult::Ok;
}

DerResult ParseRsaSpki(DerBytes der, DerBytes& rsaPublicKey) {
    DerBytes body;
    DerBytes algorithm;
    DerBytes bits;
    DerBytes oid;
    if (!ReadWhole(der, kTagSequence, body)) return DerResult::Malformed;
    ByteReader fields(body);
    if (!fields.ReadDerTagged(kTagSequence, algorithm) || !fields.ReadDerTagged(kTagBitString, bits) || !fields.AtEnd()) {
        return DerResult::Malformed;
    }
    ByteReader identifier(algorithm);
    if (!identifier.ReadDerTagged(kTagOid, oid)) return DerResult::Malformed;
    if (!std::ranges::equal(oid, kRsaEncryptionOid)) return DerResult::OtherAlgorithm;
    DerBytes parameters;
    if (!identifier.AtEnd() && (!ReadWhole(identifier.Rest(), kTagNull, parameters) || !parameters.empty())) {
        return DerResult::Malformed;
    }
    ByteReader bitString(bits);
    uint8_t unusedBits = 0;
    if (!bitString.ReadU8(unusedBits) || unusedBits != 0) return DerResult::Malformed;  // whole octets only
    rsaPublicKey = bitString.Rest();
    return DerResult::Ok;
}

size_t EncodeRsaSpki(DerBytes modulus, DerBytes exponent, std::span<uint8_t> out) {
    const size_t integers = ElementSize(kTagInteger, IntegerContentSize(modulus)) +
                            ElementSize(kTagInteger, IntegerContentSize(exponent));
    const size_t bitString = 1 + ElementSize(kTagSequence, integers);
    const size_t algorithm = ElementSize(kTagOid, sizeof kRsaEncryptionOid) + ElementSize(kTagNull, 0);
    const size_t body = ElementSize(kTagSequence, algorithm) + ElementSize(kTagBitString, bitString);
    const size_t total = ElementSize(kTagSequence, body);
    if (out.empty()) return total;

    ByteWriter writer(out);
    const bool written =
        writer.WriteDerHeader(kConstructed, kTagSequence & 0x1F, static_cast<uint32_t>(body)) &&
        writer.WriteDerHeader(kConstructed, kTagSequence & 0x1F, static_cast<uint32_t>(algorithm)) &&
        writer.WriteDerHeader(0, kTagOid, sizeof kRsaEncryptionOid) && writer.WriteBytes(kRsaEncryptionOid) &&
        writer.WriteDerHeader(0, kTagNull, 0) &&
        writer.WriteDerHeader(0, kTagBitString, static_cast<uint32_t>(bitString)) && writer.WriteU8(0) &&  // no unused bits
        writer.WriteDerHeader(kConstructed, kTagSequence & 0x1F, static_cast<uint32_t>(integers)) &&
        WriteInteger(writer, modulus) && WriteInteger(writer, exponent);
    return written ? writer.Position() : 0;
}

}  // namespace korva::toolkit
