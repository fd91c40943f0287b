// Large pages under a whole-file buffer: a catalog of megabytes read into
// fresh memory costs one page fault per page touched, and large pages cut
// that count by hundreds where the system grants them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korva::platform {

// Octets to allocate beyond `size` so that PlaceOnLargePages finds room for
// `size` octets on whole large pages; 0 where none are asked for (small
// buffers, hosts without the means).
size_t LargePageSlack(size_t size);

// Where `size` octets go in a block of `blockSize` octets: the first large
// page boundary in it, advised as large pages before anything is written
// there, when whole large pages from there hold them; else the block itself.
// Advice only: nothing fails.
uint8_t* PlaceOnLargePages(void* block, size_t blockSize, size_t size);

}  // namespace korva::platform
