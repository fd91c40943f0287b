#include "catalog/CatalogReadBuffer.h"

#include "platform/LargePages.h"
#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

uint8_t* CatalogReadBuffer::Reserve(size_t size) {
    const size_t needed = size + korva::platform::LargePageSlack(size);
    if (block_ == nullptr || blockSize_ < needed) {
        Release();
        block_ = AllocateBuffer(needed);
        if (block_ == nullptr) return nullptr;
        blockSize_ = needed;
    }
    return korva::platform::PlaceOnLargePages(block_, blockSize_, size);
}

void CatalogReadBuffer::Done() {
    if (blockSize_ > kKeptBytes) Release();
}

void CatalogReadBuffer::Release() {
    FreeBuffer(block_);
    block_ = nullptr;
    blockSize_ = 0;
}

}  // namespace TarnVerifyTrustDriver
