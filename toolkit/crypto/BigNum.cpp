#include "toolkit/crypto/BigNum.h"

#include <algorithm>

namespace korva::crypto::detail {

ByteView StripLeadingZeros(ByteView bytes) {
    const auto first = std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; });
    return bytes.subspan(static_cast<size_t>(first - bytes.begin()));
}

bool LimbsFromBytes(ByteView bytes, std::span<Limb> out) {
    bytes = StripLeadingZeros(bytes);
    if (bytes.size() > out.size() * sizeof(Limb)) return false;
    std::fill(out.begin(), out.end(), Limb{0});
    for (size_t i = 0; i < bytes.size(); ++i) {
        const size_t fromEnd = bytes.size() - 1 - i;
        out[fromEnd / sizeof(Limb)] |= Limb{bytes[i]} << (8 * (fromEnd % sizeof(Limb)));
    }
    return true;
}

bool LimbsToBytes(std::span<const Limb> value, MutableByteView out) {
    if ((BitLength(value) + 7) / 8 > out.size()) return false;
    for (size_t i = 0; i < out.size(); ++i) {
        const size_t fromEnd = out.size() - 1 - i;
        const size_t limb = fromEnd / sizeof(Limb);
        out[i] = limb < value.size() ? static_cast<uint8_t>(value[limb] >> (8 * (fromEnd % sizeof(Limb)))) : 0;
    }
    return true;
}

size_t BitLength(std::span<const Limb> value) {
    for (size_t i = value.size(); i-- > 0;) {
        if (value[i] == 0) continue;
        size_t bits = 0;
        for (Limb top = value[i]; top != 0; top >>= 1) ++bits;
        return i * kLimbBits + bits;
    }
    return 0;
}

int Compare(std::span<const Limb> a, std::span<const Limb> b) {
    for (size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

Limb Subtract(std::span<Limb> out, std::span<const Limb> a, std::span<const Limb> b) {
    Limb borrow = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const Limb difference = a[i] - b[i];
        const Limb borrowOut = (a[i] < b[i]) | (difference < borrow);
        out[i] = difference - borrow;
        borrow = borrowOut;
    }
    return borrow;
}

}  // namespace korva::crypto::detail
