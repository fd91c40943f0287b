// How CFile::Open opens a file. The flags are bytes and all clear after
// construction; the path is borrowed and must outlive the Open call.
#pragma once

#include <cstdint>

namespace TarnVerifyTrustDriver::CFileIO {

class COpenParameters {
public:
    explicit COpenParameters(const wchar_t* filePath) : path(filePath) {}
    virtual ~COpenParameters() = default;

    uint8_t create = 0;         // create, replacing an existing file
    uint8_t openAlways = 0;     // open, creating when absent; wins over create
    uint8_t read = 0;
    uint8_t write = 0;
    uint8_t deleteOnClose = 0;  // the file goes away when its last handle closes
    const wchar_t* path;
};

}  // namespace TarnVerifyTrustDriver::CFileIO
