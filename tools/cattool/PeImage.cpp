#include "tools/cattool/PeImage.h"

#include <algorithm>

#include "platform/ByteReader.h"

namespace korva::cattool {

using platform::ByteReader;
using platform::ByteSpan;

namespace {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kCertificateDirectory = 4;
// Signing aligns the certificate table to this, so the digest of an unsigned
// image counts the zeros that alignment will add.
constexpr size_t kCertificateAlignment = 8;

// Offsets inside the optional header; the directories start later in PE32+
// because its image base and stack sizes are 64-bit.
constexpr size_t kSizeOfHeadersField = 60;
constexpr size_t kCheckSumField = 64;
constexpr size_t kDirectoryCount32 = 92;
constexpr size_t kDirectoryCount64 = 108;

// The fields the digest needs, or the reason the image does not hold together.
struct PeFields {
    size_t checkSum = 0;
    size_t certificateEntry = 0;  // 0: the image has no such directory entry
    uint32_t certificateSize = 0;
    size_t headersEnd = 0;
    std::vector<ByteRange> sections;
};

// Reads a little-endian field at an absolute offset.
template <class T>
bool FieldAt(ByteSpan file, size_t offset, T& value) {
    ByteReader reader(file);
    if (!reader.Skip(offset)) return false;
    if constexpr (sizeof(T) == 2) return reader.ReadU16Le(value);
    else return reader.ReadU32Le(value);
}

const char* ReadPeFields(ByteSpan file, size_t coff, PeFields& pe) {
    uint16_t sectionCount = 0;
    uint16_t optionalSize = 0;
    if (!FieldAt(file, coff + 2, sectionCount) || !FieldAt(file, coff + 16, optionalSize)) return "COFF header cut short";
    size_t optional = coff + kCoffHeaderSize;
    uint16_t magic = 0;
    if (!FieldAt(file, optional, magic)) return "optional header cut short";
    if (magic != kPe32Magic && magic != kPe32PlusMagic) return "unknown optional header magic";
    size_t countField = magic == kPe32Magic ? kDirectoryCount32 : kDirectoryCount64;
    uint32_t headersSize = 0;
    uint32_t directoryCount = 0;
    if (optionalSize < countField + 4 || !FieldAt(file, optional + kSizeOfHeadersField, headersSize) ||
        !FieldAt(file, optional + countField, directoryCount)) {
        return "optional header cut short";
    }
    pe.checkSum = optional + kCheckSumField;
    size_t directories = optional + countField + 4;
    if (directoryCount > kCertificateDirectory) {
        pe.certificateEntry = directories + kCertificateDirectory * 8;
        uint32_t certificateOffset = 0;
        if (pe.certificateEntry + 8 > optional + optionalSize || !FieldAt(file, pe.certificateEntry, certificateOffset) ||
            !FieldAt(file, pe.certificateEntry + 4, pe.certificateSize)) {
            return "certificate table entry outside the optional header";
        }
        if (pe.certificateSize != 0 &&
            (certificateOffset > file.size() || pe.certificateSize > file.size() - certificateOffset)) {
            return "certificate table beyond the end of the file";
        }
    }
    size_t sectionTable = optional + optionalSize;
    size_t minimumEnd = std::max(pe.certificateEntry + 8, pe.checkSum + 4);
    if (headersSize < minimumEnd || headersSize > file.size()) return "SizeOfHeaders outside the file";
    pe.headersEnd = headersSize;
    ByteReader sections(file);
    if (!sections.Skip(sectionTable)) return "section table beyond the end of the file";
    for (uint16_t i = 0; i < sectionCount; ++i) {
        ByteSpan header;
        if (!sections.ReadBytes(kSectionHeaderSize, header)) return "section table beyond the end of the file";
        ByteReader fields(header);
        uint32_t rawSize = 0;
        uint32_t rawOffset = 0;
        if (!fields.Skip(16) || !fields.ReadU32Le(rawSize) || !fields.ReadU32Le(rawOffset)) return "section header cut short";
        if (rawSize == 0) continue;
        if (rawOffset > file.size() || rawSize > file.size() - rawOffset) return "section data beyond the end of the file";
        pe.sections.push_back({rawOffset, rawSize});
    }
    return nullptr;
}

// The published order: the headers without the two excluded fields, the
// sections by file offset, then what follows them up to the certificates.
std::vector<ByteRange> AuthenticodeRanges(size_t fileSize, PeFields& pe) {
    std::vector<ByteRange> ranges;
    auto add = [&ranges](size_t from, size_t to) {
        if (to > from) ranges.push_back({from, to - from});
    };
    add(0, pe.checkSum);
    if (pe.certificateEntry != 0) {
        add(pe.checkSum + 4, pe.certificateEntry);
        add(pe.certificateEntry + 8, pe.headersEnd);
    } else {
        add(pe.checkSum + 4, pe.headersEnd);
    }
    std::stable_sort(pe.sections.begin(), pe.sections.end(),
                     [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
    size_t hashed = pe.headersEnd;
    for (const ByteRange& section : pe.sections) {
        ranges.push_back(section);
        hashed += section.size;
    }
    if (fileSize > hashed && fileSize - hashed > pe.certificateSize) {
        ranges.push_back({hashed, fileSize - pe.certificateSize - hashed});
    }
    return ranges;
}

}  // namespace

ImageLayout LayOutImage(std::span<const uint8_t> file) {
    ImageLayout layout;
    layout.ranges.push_back({0, file.size()});
    static constexpr uint8_t kMz[] = {'M', 'Z'};
    static constexpr uint8_t kPeSignature[] = {'P', 'E', 0, 0};
    ByteReader mz(file);
    ByteReader reader(file);
    uint32_t peOffset = 0;
    if (!mz.SkipPrefix(kMz) || !FieldAt(file, 0x3C, peOffset) || !reader.Skip(peOffset) ||
        !reader.SkipPrefix(kPeSignature)) {
        return layout;
    }
    PeFields pe;
    if (const char* problem = ReadPeFields(file, reader.Position(), pe)) {
        layout.kind = ImageKind::Malformed;
        layout.problem = problem;
        return layout;
    }
    layout.kind = ImageKind::Pe;
    layout.ranges = AuthenticodeRanges(file.size(), pe);
    if (pe.certificateSize == 0 && file.size() % kCertificateAlignment != 0) {
        layout.zeroPadding = kCertificateAlignment - file.size() % kCertificateAlignment;
    }
    return layout;
}

crypto::Digest DigestImage(std::span<const uint8_t> file, const ImageLayout& layout, crypto::HashAlgorithm algorithm) {
    crypto::HashContext context(algorithm);
    for (const ByteRange& range : layout.ranges) context.Update(file.subspan(range.offset, range.size));
    static constexpr uint8_t kZeros[kCertificateAlignment] = {};
    context.Update(std::span<const uint8_t>(kZeros, layout.zeroPadding));
    return context.Final();
}

}  // namespace korva::cattool
