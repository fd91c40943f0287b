// Where both hosts' ReadFile, WriteFile and SetFilePointerEx consult the armed test fault.
#pragma once

#include <cstdint>

namespace korva::platform::detail {

enum class IoDirection { Read, Write, Size, Seek };

// true: the call must fail now (transferred and the last error are set).
// Otherwise `size` may have been shortened and the call goes ahead.
bool InjectIoFault(IoDirection direction, uint32_t& size, uint32_t& transferred);
// Where both hosts' GetFileSize report: `size` replaced when this query is the armed one.
void InjectFileSize(uint64_t& size);

}  // namespace korva::platform::detail
