// The buffer one thread reads its catalog files into, kept from one catalog
// to the next: a file read into fresh memory costs a page fault for every
// page it fills, and most catalogs fit in the room an earlier one left. A
// block above kKeptBytes goes when its catalog is done, so that one huge
// catalog is not held for the rest of a scan.
#pragma once

#include <cstddef>
#include <cstdint>

namespace TarnVerifyTrustDriver {

class CatalogReadBuffer {
public:
    static constexpr size_t kKeptBytes = size_t{4} << 20;

    CatalogReadBuffer() = default;
    ~CatalogReadBuffer() { Release(); }
    CatalogReadBuffer(const CatalogReadBuffer&) = delete;
    CatalogReadBuffer& operator=(const CatalogReadBuffer&) = delete;

    // Room for `size` octets, on large pages where a file that large gets
    // them; null without the memory.
    uint8_t* Reserve(size_t size);
    // The catalog read into it is done with.
    void Done();
    void Release();

private:
    void* block_ = nullptr;
    size_t blockSize_ = 0;
};

}  // namespace TarnVerifyTrustDriver
