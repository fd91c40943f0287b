#include "engine/WalkAhead.h"

#include <algorithm>
#include <atomic>
#include <system_error>

#include "engine/WalkAheadOverride.h"
#include "platform/TraceBuffer.h"

namespace TarnVerifyTrustDriver {

namespace {
std::atomic<uint64_t> g_waitingBytes{0};
std::atomic<uint64_t> g_earlyBytes{0};

uint64_t FileBytes(const korva::platform::FindData& entry) {
    return (uint64_t{entry.fileSizeHigh} << 32) | entry.fileSizeLow;
}

bool SameFile(const WalkAhead::Slot& a, const WalkAhead::Slot& b) {
    return a.path == b.path && FileBytes(a.entry) == FileBytes(b.entry) &&
           a.entry.lastWriteTime.lowDateTime == b.entry.lastWriteTime.lowDateTime &&
           a.entry.lastWriteTime.highDateTime == b.entry.lastWriteTime.highDateTime;
}

}  // namespace

uint64_t SetWalkAheadBytes(uint64_t bytes) { return g_waitingBytes.exchange(bytes); }
uint64_t SetEarlyWalkBytes(uint64_t bytes) { return g_earlyBytes.exchange(bytes); }

WalkAhead::WalkAhead(ICatalogVerifier& own, std::span<ICatalogVerifier* const> others, CCallbacks* callbacks)
    : callbacks_(callbacks),
      own_(own),
      earlyBytes_(g_earlyBytes.load() != 0 ? g_earlyBytes.load() : kEarlyBytes),
      waitingBytes_(g_waitingBytes.load() != 0 ? g_waitingBytes.load() : kWaitingBytes) {
    // Everything that may throw comes before the first thread starts.
    size_t slots = kSlotsPerThread * (others.size() + 1);
    slots_ = std::make_unique<Slot[]>(others.empty() ? 1 : slots);
    // One early walk for each thread beside the scanning one.
    early_ = std::make_unique<Slot[]>(others.size());
    for (size_t i = 0; i < others.size(); ++i) early_[i].early = true;
    queue_.reserve(slots + others.size());
    // Room for every walk the window and the early slots hold, so that
    // giving one back never allocates.
    retired_ = std::make_unique<Retired[]>(others.size());
    for (size_t i = 0; i < others.size(); ++i) {
        retired_[i].callbacks.reserve(slots + others.size());
        retired_[i].deleting.reserve(slots + others.size());
    }
    threads_.reserve(others.size());
    for (size_t i = 0; i < others.size(); ++i) {
        try {
            threads_.emplace_back([this, i, verifier = others[i]] { Work(i, *verifier); });
        } catch (const std::system_error&) {
            break;  // the threads that started do the walking
        }
    }
    if (!threads_.empty()) capacity_ = kSlotsPerThread * (threads_.size() + 1);
    earlyCount_ = threads_.size();
}

WalkAhead::~WalkAhead() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    queuedSignal_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    korva::trace::Buffer dropped;
    korva::trace::Capture capture(&dropped);
    for (size_t i = 0; i < threads_.size(); ++i) {
        for (ICatalogEvidence* callback : retired_[i].callbacks) delete callback;
    }
}

bool WalkAhead::WorthEarly(const korva::platform::FindData& entry) const {
    return earlyCount_ != 0 && FileBytes(entry) >= earlyBytes_;
}

WalkAhead::Slot& WalkAhead::Push() {
    Slot& slot = slots_[(head_ + count_++) % capacity_];
    slot.walk.Discard();
    slot.walker = 0;
    slot.queued = false;
    slot.walked = false;
    return slot;
}

bool WalkAhead::EarlyFree() const {
    return std::any_of(early_.get(), early_.get() + earlyCount_, [](const Slot& slot) { return !slot.held; });
}

WalkAhead::Slot& WalkAhead::PushEarly() {
    Slot& slot = *std::find_if(early_.get(), early_.get() + earlyCount_, [](const Slot& s) { return !s.held; });
    slot.walk.Discard();
    slot.walker = 0;
    slot.queued = false;
    slot.walked = false;
    slot.held = true;
    return slot;
}

void WalkAhead::Queue(Slot& slot) {
    if (!slot.early) {
        slot.bytes = FileBytes(slot.entry);
        queuedBytes_ += slot.bytes;
    }
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.insert(slot.early ? queue_.begin() : queue_.end(), &slot);
        slot.queued = true;
    }
    queuedSignal_.notify_one();
}

bool WalkAhead::Claim(Slot& slot) {
    for (size_t i = 0; i < earlyCount_; ++i) {
        Slot& early = early_[i];
        if (!early.held || early.claimed || !SameFile(early, slot)) continue;
        early.claimed = true;
        slot.stand = &early;
        return true;
    }
    return false;
}

void WalkAhead::ReleaseUnclaimed() {
    std::unique_lock<std::mutex> lock(lock_);
    for (size_t i = 0; i < earlyCount_; ++i) {
        Slot& early = early_[i];
        if (!early.held || early.claimed) continue;
        auto waiting = std::find(queue_.begin(), queue_.end(), &early);
        if (waiting != queue_.end()) {
            queue_.erase(waiting);
        } else {
            walkedSignal_.wait(lock, [&] { return early.walked; });
        }
        early.walk.Discard();
        early.held = false;
    }
}

WalkAhead::Slot& WalkAhead::Front() {
    Slot& slot = slots_[head_];
    Slot& walking = slot.stand != nullptr ? *slot.stand : slot;
    if (walking.queued) {
        std::unique_lock<std::mutex> lock(lock_);
        // Rather than wait, the scanning thread walks what no thread has
        // started yet: the slot it waits for, else the window's oldest. Early
        // slots it leaves to the threads, as one may take long.
        while (!walking.walked) {
            auto next = std::find(queue_.begin(), queue_.end(), &walking);
            if (next == queue_.end()) {
                next = std::find_if(queue_.begin(), queue_.end(), [](const Slot* queued) { return !queued->early; });
            }
            if (next == queue_.end()) {
                walkedSignal_.wait(lock);
                continue;
            }
            WalkQueued(lock, next, own_, 0);
        }
    }
    return slot;
}

void WalkAhead::Pop() {
    Slot& slot = slots_[head_];
    Retire(slot);
    if (slot.stand != nullptr) {
        Retire(*slot.stand);
        slot.stand->claimed = false;
        slot.stand->held = false;
        slot.stand = nullptr;
    }
    // An empty window's head has no bytes, so full() needs no count test.
    queuedBytes_ -= slot.bytes;
    slot.bytes = 0;
    head_ = (head_ + 1) % capacity_;
    --count_;
}

void WalkAhead::Retire(Slot& slot) {
    if (slot.walker == 0) return slot.walk.Discard();
    ICatalogEvidence* callback = slot.walk.Release();
    if (callback == nullptr) return;
    std::lock_guard<std::mutex> guard(lock_);
    retired_[slot.walker - 1].callbacks.push_back(callback);
}

void WalkAhead::Work(size_t thread, ICatalogVerifier& verifier) {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        queuedSignal_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        DeleteRetired(lock, retired_[thread]);
        if (!queue_.empty()) WalkQueued(lock, queue_.begin(), verifier, thread + 1);
    }
}

void WalkAhead::DeleteRetired(std::unique_lock<std::mutex>& lock, Retired& retired) {
    if (retired.callbacks.empty()) return;
    retired.deleting.swap(retired.callbacks);
    lock.unlock();
    {
        // Closed by the store, they have nothing more to report.
        korva::trace::Buffer dropped;
        korva::trace::Capture capture(&dropped);
        for (ICatalogEvidence* callback : retired.deleting) delete callback;
    }
    retired.deleting.clear();
    lock.lock();
}

void WalkAhead::WalkQueued(std::unique_lock<std::mutex>& lock, std::vector<Slot*>::iterator queued,
                           ICatalogVerifier& verifier, size_t walker) {
    Slot& slot = **queued;
    queue_.erase(queued);
    slot.walker = walker;
    lock.unlock();
    {
        // Held in the slot until the store reaches the catalog.
        korva::trace::Capture capture(&slot.walk.events());
        slot.walk.Walk(verifier, slot.path.c_str(), callbacks_);
    }
    lock.lock();
    slot.walked = true;
    walkedSignal_.notify_all();
}

}  // namespace TarnVerifyTrustDriver
