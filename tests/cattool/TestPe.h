// Builds small PE images for the lookup tests: a PE32+ header, two sections
// listed out of file order, data after them and, when asked, a certificate
// table at the end, so every rule of the Authenticode ranges is exercised.
#pragma once

#include <cstdint>
#include <vector>

namespace korva::cattool::test {

struct TestPe {
    std::vector<uint8_t> bytes;
    size_t checkSum = 0;          // offset of the checksum field
    size_t certificateEntry = 0;  // offset of the certificate table entry
    size_t certificateOffset = 0; // where the certificate table starts (the file size without one)
};

inline void PutLe(std::vector<uint8_t>& bytes, size_t offset, uint64_t value, size_t size) {
    for (size_t i = 0; i < size; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// `certificate`: bytes of the certificate table, none for an unsigned image;
// `checkSum` goes into the checksum field.
inline TestPe MakeTestPe(const std::vector<uint8_t>& certificate, uint32_t checkSum) {
    TestPe pe;
    std::vector<uint8_t>& b = pe.bytes;
    b.assign(0x510, 0);
    for (size_t i = 0x200; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 7);
    b[0] = 'M', b[1] = 'Z';
    PutLe(b, 0x3C, 0x40, 4);
    b[0x40] = 'P', b[0x41] = 'E';
    size_t coff = 0x44;
    PutLe(b, coff, 0x8664, 2);
    PutLe(b, coff + 2, 2, 2);     // sections
    PutLe(b, coff + 16, 240, 2);  // optional header size: 112 + 16 directories
    size_t optional = coff + 20;
    PutLe(b, optional, 0x20B, 2);
    PutLe(b, optional + 60, 0x200, 4);  // SizeOfHeaders
    pe.checkSum = optional + 64;
    PutLe(b, pe.checkSum, checkSum, 4);
    PutLe(b, optional + 108, 16, 4);
    pe.certificateEntry = optional + 112 + 4 * 8;
    size_t sections = optional + 240;
    // The second section first in the table: hashing goes by file offset.
    PutLe(b, sections + 16, 0x100, 4), PutLe(b, sections + 20, 0x400, 4);
    PutLe(b, sections + 40 + 16, 0x200, 4), PutLe(b, sections + 40 + 20, 0x200, 4);
    pe.certificateOffset = b.size();
    if (!certificate.empty()) {
        PutLe(b, pe.certificateEntry, b.size(), 4);
        PutLe(b, pe.certificateEntry + 4, certificate.size(), 4);
        b.insert(b.end(), certificate.begin(), certificate.end());
    }
    return pe;
}

}  // namespace korva::cattool::test
