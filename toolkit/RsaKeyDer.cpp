#include "toolkit/RsaKeyDer.h"

#include <cstring>

namespace korva::toolkit {

namespace {

constexpr uint8_t kTagInteger = 0x02;
constexpr uint8_t kTagBitString = 0x03;
constexpr uint8_t kTagNull = 0x05;
constexpr uint8_t kTagOid = 0x06;
constexpr uint8_t kTagSequence = 0x30;
// 1.2.840.113549.1.1.1
constexpr uint8_t kRsaEncryptionOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};

// Takes one element with tag `tag` off the front of `input`.
bool TakeElement(DerBytes& input, uint8_t tag, DerBytes& contents) {
    if (input.size() < 2 || input[0] != tag) return false;
    size_t length = input[1];
    size_t header = 2;
    if (length & 0x80) {
        size_t octets = length & 0x7F;
        if (octets == 0 || octets > 3 || input.size() < 2 + octets || input[2] == 0) return false;
        length = 0;
        for (size_t i = 0; i < octets; ++i) length = (length << 8) | input[2 + i];
        if (length < 0x80) return false;  // the short form was required
        header += octets;
    }
    if (input.size() - header < length) return false;
    contents = input.subspan(header, length);
    input = input.subspan(header + length);
    return true;
}

bool TakeWhole(DerBytes input, uint8_t tag, DerBytes& contents) {
    return TakeElement(input, tag, contents) && input.empty();
}

// A minimal, positive INTEGER's content octets.
bool TakePositiveInteger(DerBytes& input, DerBytes& value) {
    if (!TakeElement(input, kTagInteger, value) || value.empty() || (value[0] & 0x80)) return false;
    return value.size() == 1 || value[0] != 0 || (value[1] & 0x80);
}

size_t HeaderSize(size_t length) {
    return length < 0x80 ? 2 : length < 0x100 ? 3 : length < 0x10000 ? 4 : 5;
}

// Writes an element header at `at` (when `out` has room) and returns its size.
size_t PutHeader(std::span<uint8_t> out, size_t at, uint8_t tag, size_t length) {
    size_t size = HeaderSize(length);
    if (!out.empty()) {
        out[at] = tag;
        if (size == 2) {
            out[at + 1] = static_cast<uint8_t>(length);
        } else {
            out[at + 1] = static_cast<uint8_t>(0x80 | (size - 2));
            for (size_t i = size; i-- > 2;) {
                out[at + i] = static_cast<uint8_t>(length);
                length >>= 8;
            }
        }
    }
    return size;
}

size_t PutBytes(std::span<uint8_t> out, size_t at, DerBytes bytes) {
    if (!out.empty() && !bytes.empty()) std::memcpy(out.data() + at, bytes.data(), bytes.size());
    return bytes.size();
}

size_t IntegerContentSize(DerBytes value) {
    return value.size() + ((value[0] & 0x80) ? 1 : 0);
}

size_t PutInteger(std::span<uint8_t> out, size_t at, DerBytes value) {
    size_t content = IntegerContentSize(value);
    size_t n = PutHeader(out, at, kTagInteger, content);
    if (content != value.size()) {
        if (!out.empty()) out[at + n] = 0;
        ++n;
    }
    return n + PutBytes(out, at + n, value);
}

}  // namespace

DerResult ParseRsaPublicKey(DerBytes der, DerBytes& modulus, DerBytes& exponent) {
    DerBytes body;
    if (!TakeWhole(der, kTagSequence, body) || !TakePositiveInteger(body, modulus) ||
        !TakePositiveInteger(body, exponent) || !body.empty()) {
        return DerResult::Malformed;
    }
    return DerResult::Ok;
}

DerResult ParseRsaSpki(DerBytes der, DerBytes& rsaPublicKey) {
    DerBytes body;
    DerBytes algorithm;
    DerBytes oid;
    DerBytes bits;
    if (!TakeWhole(der, kTagSequence, body) || !TakeElement(body, kTagSequence, algorithm) ||
        !TakeElement(body, kTagBitString, bits) || !body.empty() || !TakeElement(algorithm, kTagOid, oid)) {
        return DerResult::Malformed;
    }
    if (oid.size() != sizeof kRsaEncryptionOid || std::memcmp(oid.data(), kRsaEncryptionOid, oid.size()) != 0) {
        return DerResult::OtherAlgorithm;
    }
    DerBytes parameters;
    if (!algorithm.empty() && (!TakeWhole(algorithm, kTagNull, parameters) || !parameters.empty())) {
        return DerResult::Malformed;
    }
    if (bits.empty() || bits[0] != 0) return DerResult::Malformed;  // whole octets only
    rsaPublicKey = bits.subspan(1);
    return DerResult::Ok;
}

size_t EncodeRsaSpki(DerBytes modulus, DerBytes exponent, std::span<uint8_t> out) {
    size_t integers = HeaderSize(IntegerContentSize(modulus)) + IntegerContentSize(modulus) +
                      HeaderSize(IntegerContentSize(exponent)) + IntegerContentSize(exponent);
    size_t rsaKey = HeaderSize(integers) + integers;
    size_t bitString = 1 + rsaKey;
    size_t algorithm = 2 + sizeof kRsaEncryptionOid + 2;
    size_t body = HeaderSize(algorithm) + algorithm + HeaderSize(bitString) + bitString;

    size_t at = PutHeader(out, 0, kTagSequence, body);
    at += PutHeader(out, at, kTagSequence, algorithm);
    at += PutHeader(out, at, kTagOid, sizeof kRsaEncryptionOid);
    at += PutBytes(out, at, kRsaEncryptionOid);
    at += PutHeader(out, at, kTagNull, 0);
    at += PutHeader(out, at, kTagBitString, bitString);
    if (!out.empty()) out[at] = 0;  // no unused bits
    ++at;
    at += PutHeader(out, at, kTagSequence, integers);
    at += PutInteger(out, at, modulus);
    at += PutInteger(out, at, exponent);
    return at;
}

}  // namespace korva::toolkit
