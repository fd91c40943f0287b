// Reading a small file whole through the handle-level file calls, as the
// isolate.ini reader and the POSIX registry loader need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korva::platform {

constexpr uint32_t kErrorFileTooLarge = 223;

// Opens `path` for reading, sharing reading and writing, and reads all of it into `bytes`. A Win32
// error: ERROR_FILE_TOO_LARGE above `limit` bytes, ERROR_HANDLE_EOF when the
// file shrank while being read.
uint32_t ReadWholeFile(const wchar_t* path, size_t limit, std::vector<uint8_t>& bytes);

}  // namespace korva::platform
