#include "platform/LargePages.h"

namespace korva::platform {

// Large pages on Windows need a privilege this program does not ask for.
size_t LargePageSlack(size_t) { return 0; }

uint8_t* PlaceOnLargePages(void* block, size_t, size_t) { return static_cast<uint8_t*>(block); }

}  // namespace korva::platform
