// Gathers a save's entries into large blocks, so that Cat.DB is written a
// block at a time rather than a field at a time. An entry's unsaved mark is
// cleared only once every byte of it reached the output: a failed write
// leaves unsaved exactly the entries that may not be whole in the file.
// Without its block (no memory) every field goes straight through, with
// each mark cleared as its entry ends, as a save did before batching.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include "engine/GrowableArray.h"
#include "engine/StoreOutput.h"
#include "runtime/Memory.h"

namespace TarnVerifyTrustDriver {

class EntryBatch {
public:
    static constexpr uint32_t kBlockSize = 128 * 1024;

    // `batched` false writes through from the start.
    EntryBatch(IStoreOutput& output, CCallbacks* callbacks, bool batched = true);
    EntryBatch(const EntryBatch&) = delete;
    EntryBatch& operator=(const EntryBatch&) = delete;

    // Appends bytes of the current entry; false when a write failed. Inline
    // for the common case of a few bytes that fit, which a save does a
    // million times: a field's copy then compiles to one store.
    bool Put(std::span<const uint8_t> bytes) {
        if (bytes.empty() || bytes.size() > block_.size() - fill_) return PutSlowly(bytes);
        std::memcpy(block_.data() + fill_, bytes.data(), bytes.size());
        fill_ += static_cast<uint32_t>(bytes.size());
        return true;
    }
    // Ends the entry whose mark is `unsaved`; false when a write failed.
    bool End(bool& unsaved);
    // Writes what the block holds and clears the marks of the entries ended
    // so far; false when the write failed (their marks then stay).
    bool Flush();

private:
    // Put when the bytes do not fit the block, or there is no block.
    bool PutSlowly(std::span<const uint8_t> bytes);

    IStoreOutput& output_;
    CMemory block_;
    uint32_t fill_ = 0;
    GrowableArray<bool*> pending_;
};

}  // namespace TarnVerifyTrustDriver
