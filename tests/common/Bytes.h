// Byte helpers every test area shares: hex both ways, concatenation, DER
// elements, whole files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace korva::test {

using Bytes = std::vector<uint8_t>;

// Pairs of hex digits; spaces between them are skipped.
inline Bytes FromHex(std::string_view hex) {
    auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    Bytes out;
    int high = -1;
    for (char c : hex) {
        if (c == ' ') continue;
        if (high < 0) {
            high = digit(c);
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + digit(c)));
            high = -1;
        }
    }
    return out;
}

inline std::string ToHex(const uint8_t* data, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out.push_back(kDigits[data[i] >> 4]);
        out.push_back(kDigits[data[i] & 15]);
    }
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A DER element: `tag`, the length in its shortest form (up to 65535), the content.
inline Bytes Tlv(uint8_t tag, const Bytes& content) {
    size_t n = content.size();
    Bytes out(n < 128 ? 2 : n < 256 ? 3 : 4);
    out[0] = tag;
    for (size_t i = out.size() - 1, rest = n; i > 1; --i, rest >>= 8) out[i] = static_cast<uint8_t>(rest);
    out[1] = static_cast<uint8_t>(n < 128 ? n : 0x80 + out.size() - 2);
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

inline Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace korva::test
