#include "engine/StoreEntries.h"

#include <algorithm>

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

namespace TarnVerifyTrustDriver {

using korva::platform::ByteReader;
using korva::platform::ByteWriter;

namespace {

// The UTF-16 code units of a wide string, one at a time: wide strings are
// UTF-32 on POSIX hosts, and names are ordered and stored as UTF-16.
class Utf16Units {
public:
    explicit Utf16Units(std::wstring_view text) : text_(text) {}

    bool Next(uint16_t& unit) {
        if (pendingLow_ != 0) {
            unit = pendingLow_;
            pendingLow_ = 0;
            return true;
        }
        if (position_ == text_.size()) return false;
        auto c = static_cast<uint32_t>(text_[position_++]);
        if (c > 0x10FFFF) c = 0xFFFD;
        if (c <= 0xFFFF) {
            unit = static_cast<uint16_t>(c);
            return true;
        }
        c -= 0x10000;
        unit = static_cast<uint16_t>(0xD800 | (c >> 10));
        pendingLow_ = static_cast<uint16_t>(0xDC00 | (c & 0x3FF));
        return true;
    }

private:
    std::wstring_view text_;
    size_t position_ = 0;
    uint16_t pendingLow_ = 0;
};

}  // namespace

bool CopyBytes(CMemory& memory, std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        memory.Free();
        return true;
    }
    if (!memory.Allocate(static_cast<uint32_t>(bytes.size()))) return false;
    std::ranges::copy(bytes, memory.data());
    return true;
}

int NameOrder::Compare(std::wstring_view path, const NameEntry& entry) {
    ByteReader stored(entry.name.bytes());
    // The names of a directory's catalogs share its long path: pass over
    // equal units four at a time while none needs a surrogate pair.
    size_t same = 0;
    for (ByteReader ahead = stored; same + 4 <= path.size(); same += 4) {
        uint64_t four = 0;
        if (!ahead.ReadU64Le(four)) break;
        uint64_t mine = 0;
        bool single = true;
        for (size_t k = 0; k < 4; ++k) {
            const auto c = static_cast<uint32_t>(path[same + k]);
            single &= c < 0xD800;
            mine |= uint64_t{c & 0xFFFF} << (16 * k);
        }
        if (!single || mine != four) break;
        stored = ahead;
    }
    Utf16Units units(path.substr(same));
    for (;;) {
        uint16_t a = 0;
        uint16_t b = 0;
        bool haveA = units.Next(a);
        bool haveB = stored.ReadU16Le(b);
        if (!haveA || !haveB) return static_cast<int>(haveA) - static_cast<int>(haveB);
        if (a != b) return a < b ? -1 : 1;
    }
}

bool NameOrder::Assign(NameEntry& entry, std::wstring_view path) {
    Utf16Units counter(path);
    uint64_t count = 0;
    for (uint16_t unit = 0; counter.Next(unit);) ++count;
    if (count * 2 > 0xFFFFFFFFu || !entry.name.Allocate(static_cast<uint32_t>(count * 2))) return false;
    ByteWriter writer(entry.name.bytes());
    Utf16Units units(path);
    for (uint16_t unit = 0; units.Next(unit);) {
        if (!writer.WriteU16Le(unit)) return false;
    }
    return true;
}

int SignerValueOrder::Compare(std::span<const uint8_t> value, const SignerIndexEntry& entry) {
    std::span<const uint8_t> stored = entry.value.bytes();
    if (value.size() != stored.size()) return value.size() < stored.size() ? -1 : 1;
    return CompareHashBytes(value, stored);
}

bool SignerValueOrder::Assign(SignerIndexEntry& entry, std::span<const uint8_t> value) {
    return CopyBytes(entry.value, value);
}

}  // namespace TarnVerifyTrustDriver
