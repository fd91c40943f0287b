// The one bounds-checked writer: the counterpart of ByteReader. Every put
// checks the room left, writes nothing and returns false when it does not
// fit, and advances only on success. Integers are written in the byte order
// their name states.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/ByteReader.h"

namespace korva::platform {

class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(std::span<uint8_t> out) : out_(out) {}

    size_t Position() const { return position_; }
    size_t Remaining() const { return out_.size() - position_; }
    // What has been written so far.
    ByteSpan Written() const { return {out_.data(), position_}; }

    [[nodiscard]] bool WriteU8(uint8_t value) { return Put(&value, 1); }
    [[nodiscard]] bool WriteU16Le(uint16_t value) { return PutLe(value); }
    [[nodiscard]] bool WriteU32Le(uint32_t value) { return PutLe(value); }
    [[nodiscard]] bool WriteU64Le(uint64_t value) { return PutLe(value); }
    [[nodiscard]] bool WriteU16Be(uint16_t value) { return PutBe(value); }
    [[nodiscard]] bool WriteU32Be(uint32_t value) { return PutBe(value); }
    [[nodiscard]] bool WriteU64Be(uint64_t value) { return PutBe(value); }
    [[nodiscard]] bool WriteBytes(ByteSpan bytes) { return Put(bytes.data(), bytes.size()); }
    [[nodiscard]] bool Fill(uint8_t value, size_t count) {
        if (count > Remaining()) return false;
        for (size_t i = 0; i < count; ++i) out_[position_ + i] = value;
        position_ += count;
        return true;
    }

    // An element header: identifier octets for `tagClass` (class and
    // constructed bits, mask 0xE0) and `tag` (high-tag form above 30), then
    // the minimal definite length.
    [[nodiscard]] bool WriteDerHeader(uint8_t tagClass, uint32_t tag, uint32_t length) {
        uint8_t buffer[16];
        size_t size = EncodeDerHeader(tagClass, tag, length, buffer);
        return Put(buffer, size);
    }
    // The size WriteDerHeader needs.
    static size_t DerHeaderSize(uint32_t tag, uint32_t length) {
        uint8_t buffer[16];
        return EncodeDerHeader(0, tag, length, buffer);
    }

private:
    bool Put(const uint8_t* bytes, size_t count) {
        if (count > Remaining()) return false;
        for (size_t i = 0; i < count; ++i) out_[position_ + i] = bytes[i];
        position_ += count;
        return true;
    }
    template <typename T>
    bool PutLe(T value) {
        uint8_t bytes[sizeof(T)];
        for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
        return Put(bytes, sizeof(T));
    }
    template <typename T>
    bool PutBe(T value) {
        uint8_t bytes[sizeof(T)];
        for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * (sizeof(T) - 1 - i)));
        return Put(bytes, sizeof(T));
    }

    static size_t EncodeDerHeader(uint8_t tagClass, uint32_t tag, uint32_t length, uint8_t (&buffer)[16]) {
        size_t size = 0;
        if (tag < kDerHighTagForm) {
            buffer[size++] = static_cast<uint8_t>((tagClass & 0xE0) | tag);
        } else {
            buffer[size++] = static_cast<uint8_t>((tagClass & 0xE0) | kDerHighTagForm);
            int groups = 1;
            while (groups < 5 && (tag >> (7 * groups)) != 0) ++groups;
            for (int g = groups - 1; g >= 0; --g) {
                uint8_t octet = static_cast<uint8_t>((tag >> (7 * g)) & 0x7F);
                buffer[size++] = static_cast<uint8_t>(g == 0 ? octet : (octet | 0x80));
            }
        }
        if (length < 0x80) {
            buffer[size++] = static_cast<uint8_t>(length);
        } else {
            int octets = 1;
            while (octets < 4 && (length >> (8 * octets)) != 0) ++octets;
            buffer[size++] = static_cast<uint8_t>(0x80 | octets);
            for (int o = octets - 1; o >= 0; --o) buffer[size++] = static_cast<uint8_t>(length >> (8 * o));
        }
        return size;
    }

    std::span<uint8_t> out_;
    size_t position_ = 0;
};

}  // namespace korva::platform
