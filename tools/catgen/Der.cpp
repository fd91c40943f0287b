#include "tools/catgen/Der.h"

#include <algorithm>
#include <ctime>
#include <string>

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

namespace korva::catgen {

Bytes Tlv(uint8_t tagClass, uint32_t tag, const Bytes& content) {
    uint32_t length = static_cast<uint32_t>(content.size());
    Bytes out(platform::ByteWriter::DerHeaderSize(tag, length) + content.size());
    platform::ByteWriter writer(out);
    // The buffer was sized for exactly this header and content.
    bool written = writer.WriteDerHeader(tagClass, tag, length) && writer.WriteBytes(content);
    return written ? out : Bytes{};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Sequence(std::initializer_list<Bytes> children) { return Tlv(kConstructed, 16, Concat(children)); }
Bytes Set(std::initializer_list<Bytes> children) { return Tlv(kConstructed, 17, Concat(children)); }

Bytes SortedSet(std::vector<Bytes> children) {
    std::sort(children.begin(), children.end());
    Bytes content;
    for (const Bytes& child : children) content.insert(content.end(), child.begin(), child.end());
    return Tlv(kConstructed, 17, content);
}

Bytes ContextConstructed(uint32_t tag, const Bytes& content) { return Tlv(kContext | kConstructed, tag, content); }

Bytes Oid(std::string_view dotted) {
    std::vector<uint64_t> arcs;
    uint64_t arc = 0;
    for (char c : dotted) {
        if (c == '.') {
            arcs.push_back(arc);
            arc = 0;
        } else {
            arc = arc * 10 + static_cast<uint64_t>(c - '0');
        }
    }
    arcs.push_back(arc);
    Bytes content;
    auto putArc = [&content](uint64_t value) {
        uint8_t groups[10];
        int count = 0;
        do {
            groups[count++] = static_cast<uint8_t>(value & 0x7F);
            value >>= 7;
        } while (value != 0);
        while (count > 0) {
            --count;
            content.push_back(static_cast<uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
        }
    };
    putArc(arcs[0] * 40 + (arcs.size() > 1 ? arcs[1] : 0));
    for (size_t i = 2; i < arcs.size(); ++i) putArc(arcs[i]);
    return Tlv(kUniversal, 6, content);
}

Bytes Null() { return Tlv(kUniversal, 5, {}); }

Bytes Integer(int64_t value) {
    Bytes content;
    for (int shift = 56; shift >= 0; shift -= 8) content.push_back(static_cast<uint8_t>(value >> shift));
    // Minimal two's complement: drop leading octets that only repeat the sign.
    size_t skip = 0;
    while (skip + 1 < content.size() &&
           ((content[skip] == 0x00 && (content[skip + 1] & 0x80) == 0) ||
            (content[skip] == 0xFF && (content[skip + 1] & 0x80) != 0))) {
        ++skip;
    }
    return Tlv(kUniversal, 2, Bytes(content.begin() + static_cast<std::ptrdiff_t>(skip), content.end()));
}

Bytes UnsignedInteger(const Bytes& magnitude) {
    size_t skip = 0;
    while (skip + 1 < magnitude.size() && magnitude[skip] == 0) ++skip;
    Bytes content(magnitude.begin() + static_cast<std::ptrdiff_t>(skip), magnitude.end());
    if (content.empty() || (content[0] & 0x80) != 0) content.insert(content.begin(), 0x00);
    return Tlv(kUniversal, 2, content);
}

Bytes OctetString(const Bytes& octets) { return Tlv(kUniversal, 4, octets); }

Bytes BmpString(std::string_view ascii) {
    Bytes content;
    for (char c : ascii) {
        content.push_back(0);
        content.push_back(static_cast<uint8_t>(c));
    }
    return Tlv(kUniversal, 30, content);
}

namespace {

std::string FormatTime(int64_t unixTime, const char* format) {
    std::time_t seconds = static_cast<std::time_t>(unixTime);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &seconds);
#else
    gmtime_r(&seconds, &parts);
#endif
    char text[32];
    size_t length = std::strftime(text, sizeof text, format, &parts);
    return std::string(text, length);
}

Bytes TimeElement(uint32_t tag, const std::string& text) { return Tlv(kUniversal, tag, Bytes(text.begin(), text.end())); }

}  // namespace

Bytes UtcTime(int64_t unixTime) { return TimeElement(23, FormatTime(unixTime, "%y%m%d%H%M%SZ")); }
Bytes GeneralizedTime(int64_t unixTime) { return TimeElement(24, FormatTime(unixTime, "%Y%m%d%H%M%SZ")); }

Bytes AlgorithmIdentifier(std::string_view dotted, bool nullParameters) {
    return nullParameters ? Sequence({Oid(dotted), Null()}) : Sequence({Oid(dotted)});
}

Bytes Attribute(std::string_view dotted, const Bytes& value) { return Sequence({Oid(dotted), Set({value})}); }

Bytes ContentOf(const Bytes& element) {
    platform::ByteReader reader(element);
    platform::DerElement parsed;
    if (reader.ReadDerElement(parsed, platform::DerRules::kBer) != platform::DerError::kNone) return {};
    return Bytes(parsed.content.begin(), parsed.content.end());
}

Bytes NestedSequences(size_t depth) {
    Bytes out(depth * 6 + 2, 0x00);  // the NULL's two octets stay zero but for its tag
    out[depth * 6] = 0x05;
    for (size_t level = 0; level < depth; ++level) {
        size_t contentLength = (depth - level - 1) * 6 + 2;
        out[level * 6] = 0x30;
        out[level * 6 + 1] = 0x84;
        for (int i = 0; i < 4; ++i) out[level * 6 + 2 + i] = static_cast<uint8_t>(contentLength >> (8 * (3 - i)));
    }
    return out;
}

}  // namespace korva::catgen
