#include <windows.h>

#include "platform/Types.h"

namespace korva::platform {

uint32_t LastError() { return ::GetLastError(); }
void SetLastError(uint32_t error) { ::SetLastError(error); }

}  // namespace korva::platform
