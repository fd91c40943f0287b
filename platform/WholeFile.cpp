#include "platform/WholeFile.h"

#include "platform/Files.h"
#include "platform/Types.h"

namespace korva::platform {

uint32_t ReadWholeFile(const wchar_t* path, size_t limit, std::vector<uint8_t>& bytes) {
    bytes.clear();
    // Sharing writing too: a Cat.DB is read while a running engine holds it
    // open for writing.
    FileHandle file = OpenFile(path, kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting, kFileAttributeNormal);
    if (file == InvalidFileHandle()) return LastError();
    uint32_t high = 0;
    SetLastError(kErrorSuccess);  // tells a file of 0xFFFFFFFF bytes from a failure
    uint32_t size = GetFileSize(file, &high);
    uint32_t error = kErrorSuccess;
    if (size == kInvalidFileSize && LastError() != kErrorSuccess) {
        error = LastError();
    } else if (high != 0 || size > limit) {
        error = kErrorFileTooLarge;
    } else {
        try {
            bytes.resize(size);
            uint32_t transferred = 0;
            if (!ReadFile(file, bytes.data(), size, transferred)) {
                error = LastError();
            } else if (transferred != size) {
                error = kErrorHandleEof;
            }
        } catch (...) {
            error = kErrorNotEnoughMemory;
        }
    }
    CloseFile(file);
    if (error != kErrorSuccess) bytes.clear();
    return error;
}

}  // namespace korva::platform
