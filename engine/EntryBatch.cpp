#include "engine/EntryBatch.h"

#include <algorithm>

namespace TarnVerifyTrustDriver {

EntryBatch::EntryBatch(IStoreOutput& output, CCallbacks* callbacks, bool batched)
    : output_(output), pending_(callbacks) {
    // A block that cannot be had only costs speed.
    if (batched) (void)block_.Allocate(kBlockSize);
}

bool EntryBatch::PutSlowly(std::span<const uint8_t> bytes) {
    if (block_.empty()) return bytes.empty() || output_.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    while (!bytes.empty()) {
        if (fill_ == block_.size() && !Flush()) return false;
        size_t taken = std::min<size_t>(bytes.size(), block_.size() - fill_);
        std::copy_n(bytes.begin(), taken, block_.data() + fill_);
        fill_ += static_cast<uint32_t>(taken);
        bytes = bytes.subspan(taken);
    }
    return true;
}

bool EntryBatch::End(bool& unsaved) {
    if (block_.empty()) {
        unsaved = false;
        return true;
    }
    bool** slot = pending_.Append();
    if (slot != nullptr) {
        *slot = &unsaved;
        return true;
    }
    // No room to remember the mark: write now, then the entry is whole.
    if (!Flush()) return false;
    unsaved = false;
    return true;
}

bool EntryBatch::Flush() {
    if (fill_ > 0 && !output_.Write(block_.data(), fill_)) return false;
    fill_ = 0;
    for (bool* mark : pending_.items()) *mark = false;
    pending_.Clear();
    return true;
}

}  // namespace TarnVerifyTrustDriver
