// The one bounds-checked reader of outside bytes. Every getter checks what is
// left, advances only when it succeeds and says whether it did, so parsers
// never index or offset a pointer of their own. Integers are read in the byte
// order their name states, never the host's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korva::platform {

using ByteSpan = std::span<const uint8_t>;

// What a BER/DER element header announces.
struct DerHeader {
    uint8_t identifier = 0;   // the first identifier octet
    uint32_t tag = 0;         // the tag number, high-tag form decoded
    uint8_t tagClass = 0;     // class and constructed bits of the identifier (mask 0xE0)
    bool indefinite = false;  // length octet 0x80
    uint32_t length = 0;      // the content length; 0 when indefinite
    size_t headerLength = 0;  // identifier and length octets
    bool Constructed() const { return (tagClass & 0x20) != 0; }
};

// Why a header could not be read.
enum class DerError {
    kNone,
    kTruncated,           // the input ends inside the header or the content
    kBadLengthForm,       // 0x85-0xFF, or indefinite length on a primitive element
    kNonMinimalLength,    // strict rules only: long form where short fits, or a leading zero octet
    kTagTooLarge,         // a high tag number beyond 32 bits
    kIndefiniteRefused,   // strict rules only: indefinite length
    kBadTagForm,          // high-tag form for a tag below 31, or a leading 0x80 tag octet
};

enum class DerRules {
    kBer,  // any 1-4 octet long form, indefinite length on constructed elements
    kDer,  // minimal definite lengths only
};

// A whole element: its header, the bytes of the content and of the element.
struct DerElement {
    DerHeader header;
    ByteSpan content;
    ByteSpan whole;
};

// Identifier octets: the class and constructed bits, and the low-tag form.
inline constexpr uint8_t kDerConstructed = 0x20;
inline constexpr uint8_t kDerClassMask = 0xC0;
inline constexpr uint8_t kDerHighTagForm = 0x1F;
// Lengths are 32-bit: at most four long-form length octets.
inline constexpr size_t kDerMaxLengthOctets = 4;

class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t* data, size_t size) : data_(size == 0 ? nullptr : data), size_(data == nullptr ? 0 : size) {}
    explicit ByteReader(ByteSpan bytes) : ByteReader(bytes.data(), bytes.size()) {}

    bool AtEnd() const { return position_ == size_; }
    size_t Position() const { return position_; }
    size_t Remaining() const { return size_ - position_; }
    ByteSpan Rest() const { return {data_ + position_, Remaining()}; }
    // Everything read so far since `start`, a position this reader returned.
    ByteSpan Since(size_t start) const { return {data_ + start, position_ - start}; }

    [[nodiscard]] bool PeekU8(uint8_t& value) const {
        if (AtEnd()) return false;
        value = data_[position_];
        return true;
    }
    [[nodiscard]] bool ReadU8(uint8_t& value) {
        if (!PeekU8(value)) return false;
        ++position_;
        return true;
    }
    [[nodiscard]] bool ReadU16Le(uint16_t& value) { return ReadLe(value); }
    [[nodiscard]] bool ReadU32Le(uint32_t& value) { return ReadLe(value); }
    [[nodiscard]] bool ReadU64Le(uint64_t& value) { return ReadLe(value); }
    [[nodiscard]] bool ReadU16Be(uint16_t& value) { return ReadBe(value); }
    [[nodiscard]] bool ReadU32Be(uint32_t& value) { return ReadBe(value); }
    [[nodiscard]] bool ReadU64Be(uint64_t& value) { return ReadBe(value); }

    // The next `count` bytes as a view into the input.
    [[nodiscard]] bool ReadBytes(size_t count, ByteSpan& bytes) {
        if (count > Remaining()) return false;
        bytes = {data_ + position_, count};
        position_ += count;
        return true;
    }
    // Copies exactly `out.size()` bytes.
    [[nodiscard]] bool CopyBytes(std::span<uint8_t> out) {
        ByteSpan bytes;
        if (!ReadBytes(out.size(), bytes)) return false;
        for (size_t i = 0; i < bytes.size(); ++i) out[i] = bytes[i];
        return true;
    }
    [[nodiscard]] bool Skip(size_t count) {
        if (count > Remaining()) return false;
        position_ += count;
        return true;
    }
    // Advances past `expected` only when the input continues with all of it.
    [[nodiscard]] bool SkipPrefix(ByteSpan expected) {
        if (expected.size() > Remaining()) return false;
        for (size_t i = 0; i < expected.size(); ++i) {
            if (data_[position_ + i] != expected[i]) return false;
        }
        position_ += expected.size();
        return true;
    }

    // Reads an element's identifier and length octets. The content need not
    // be present yet (a streaming caller checks it); an indefinite length is
    // reported, not followed. Nothing is consumed on failure.
    [[nodiscard]] DerError ReadDerHeader(DerHeader& header, DerRules rules) {
        size_t start = position_;
        DerError error = ReadDerHeaderAt(header, rules);
        if (error != DerError::kNone) position_ = start;
        return error;
    }

    // The common case of ReadDerHeader under BER rules, for a walker that
    // reads millions of headers: a low tag number and a definite length of at
    // most four octets, with the whole content present. Gives the identifier
    // octet, the content length and the header length without consuming
    // anything; false for any other header, which ReadDerHeader then tells
    // apart.
    [[nodiscard]] bool PeekShortDerHeader(uint8_t& identifier, uint32_t& length, uint32_t& headerLength) const {
        const size_t left = Remaining();
        if (left < 2) return false;
        const uint8_t* at = data_ + position_;
        if ((at[0] & kDerHighTagForm) == kDerHighTagForm) return false;
        uint32_t octets = 2;
        uint32_t value = at[1];
        if (value >= 0x80) {
            const uint32_t count = value & 0x7F;
            if (count == 0 || count > kDerMaxLengthOctets || left < 2 + count) return false;
            value = 0;
            for (uint32_t i = 0; i < count; ++i) value = (value << 8) | at[2 + i];
            octets += count;
        }
        if (value > left - octets) return false;
        identifier = at[0];
        length = value;
        headerLength = octets;
        return true;
    }

    // Reads one whole element with a definite length whose content is
    // present. Nothing is consumed on failure.
    [[nodiscard]] DerError ReadDerElement(DerElement& element, DerRules rules) {
        size_t start = position_;
        DerError error = ReadDerHeaderAt(element.header, rules);
        if (error == DerError::kNone && element.header.indefinite) error = DerError::kIndefiniteRefused;
        if (error == DerError::kNone && !ReadBytes(element.header.length, element.content)) error = DerError::kTruncated;
        if (error != DerError::kNone) {
            position_ = start;
            return error;
        }
        element.whole = Since(start);
        return DerError::kNone;
    }

    // The common case for strict parsers: the next element, which must carry
    // `identifier` and a minimal definite length; its content.
    [[nodiscard]] bool ReadDerTagged(uint8_t identifier, ByteSpan& content) {
        uint8_t next = 0;
        if (!PeekU8(next) || next != identifier) return false;
        DerElement element;
        if (ReadDerElement(element, DerRules::kDer) != DerError::kNone) return false;
        content = element.content;
        return true;
    }

private:
    template <typename T>
    bool ReadLe(T& value) {
        ByteSpan bytes;
        if (!ReadBytes(sizeof(T), bytes)) return false;
        T result = 0;
        for (size_t i = sizeof(T); i-- > 0;) result = static_cast<T>((result << 8) | bytes[i]);
        value = result;
        return true;
    }
    template <typename T>
    bool ReadBe(T& value) {
        ByteSpan bytes;
        if (!ReadBytes(sizeof(T), bytes)) return false;
        T result = 0;
        for (uint8_t byte : bytes) result = static_cast<T>((result << 8) | byte);
        value = result;
        return true;
    }

    DerError ReadDerHeaderAt(DerHeader& header, DerRules rules) {
        size_t start = position_;
        uint8_t identifier = 0;
        if (!ReadU8(identifier)) return DerError::kTruncated;
        header.identifier = identifier;
        header.tagClass = static_cast<uint8_t>(identifier & 0xE0);
        header.tag = identifier & kDerHighTagForm;
        if (header.tag == kDerHighTagForm) {
            uint32_t tag = 0;
            uint8_t octet = 0;
            do {
                if (!ReadU8(octet)) return DerError::kTruncated;
                if (tag == 0 && octet == 0x80) return DerError::kBadTagForm;  // X.690 8.1.2.4.2 c
                if ((tag >> 25) != 0) return DerError::kTagTooLarge;
                tag = (tag << 7) | (octet & 0x7F);
            } while ((octet & 0x80) != 0);
            if (tag < kDerHighTagForm) return DerError::kBadTagForm;
            header.tag = tag;
        }
        uint8_t first = 0;
        if (!ReadU8(first)) return DerError::kTruncated;
        header.indefinite = false;
        header.length = 0;
        if (first < 0x80) {
            header.length = first;
        } else if (first == 0x80) {
            if ((identifier & kDerConstructed) == 0) return DerError::kBadLengthForm;
            if (rules == DerRules::kDer) return DerError::kIndefiniteRefused;
            header.indefinite = true;
        } else {
            size_t count = first & 0x7F;
            if (count > kDerMaxLengthOctets) return DerError::kBadLengthForm;
            uint32_t length = 0;
            for (size_t i = 0; i < count; ++i) {
                uint8_t octet = 0;
                if (!ReadU8(octet)) return DerError::kTruncated;
                if (rules == DerRules::kDer && i == 0 && octet == 0) return DerError::kNonMinimalLength;
                length = (length << 8) | octet;
            }
            if (rules == DerRules::kDer && length < 0x80) return DerError::kNonMinimalLength;
            header.length = length;
        }
        header.headerLength = position_ - start;
        return DerError::kNone;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t position_ = 0;
};

}  // namespace korva::platform
