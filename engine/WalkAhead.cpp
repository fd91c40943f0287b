#include "engine/WalkAhead.h"

#include <atomic>
#include <system_error>

#include "engine/WalkAheadOverride.h"

namespace TarnVerifyTrustDriver {

namespace {
std::atomic<uint64_t> g_waitingBytes{0};
}

uint64_t SetWalkAheadBytes(uint64_t bytes) { return g_waitingBytes.exchange(bytes); }

WalkAhead::WalkAhead(ICatalogVerifier& own, std::span<ICatalogVerifier* const> others, CCallbacks* callbacks)
    : callbacks_(callbacks),
      own_(own),
      waitingBytes_(g_waitingBytes.load() != 0 ? g_waitingBytes.load() : kWaitingBytes) {
    // Everything that may throw comes before the first thread starts.
    size_t slots = kSlotsPerThread * (others.size() + 1);
    slots_ = std::make_unique<Slot[]>(others.empty() ? 1 : slots);
    queue_.reserve(slots);
    threads_.reserve(others.size());
    for (ICatalogVerifier* verifier : others) {
        try {
            threads_.emplace_back([this, verifier] { Work(*verifier); });
        } catch (const std::system_error&) {
            break;  // the threads that started do the walking
        }
    }
    if (!threads_.empty()) capacity_ = kSlotsPerThread * (threads_.size() + 1);
}

WalkAhead::~WalkAhead() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    queuedSignal_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

WalkAhead::Slot& WalkAhead::Push() {
    Slot& slot = slots_[(head_ + count_++) % capacity_];
    slot.walk.Discard();
    slot.queued = false;
    slot.walked = false;
    return slot;
}

void WalkAhead::Queue(Slot& slot) {
    slot.bytes = (uint64_t{slot.entry.fileSizeHigh} << 32) | slot.entry.fileSizeLow;
    queuedBytes_ += slot.bytes;
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.push_back(&slot);
        slot.queued = true;
    }
    queuedSignal_.notify_one();
}

WalkAhead::Slot& WalkAhead::Front() {
    Slot& slot = slots_[head_];
    if (slot.queued) {
        std::unique_lock<std::mutex> lock(lock_);
        // Rather than wait, the scanning thread walks what no thread has
        // started yet, the oldest first: it may be this very slot.
        while (!slot.walked) {
            if (queue_.empty()) {
                walkedSignal_.wait(lock);
                continue;
            }
            WalkNext(lock, own_);
        }
    }
    return slot;
}

void WalkAhead::Pop() {
    // An empty window's head has no bytes, so full() needs no count test.
    queuedBytes_ -= slots_[head_].bytes;
    slots_[head_].bytes = 0;
    head_ = (head_ + 1) % capacity_;
    --count_;
}

void WalkAhead::Work(ICatalogVerifier& verifier) {
    std::unique_lock<std::mutex> lock(lock_);
    for (;;) {
        queuedSignal_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        WalkNext(lock, verifier);
    }
}

void WalkAhead::WalkNext(std::unique_lock<std::mutex>& lock, ICatalogVerifier& verifier) {
    Slot& slot = *queue_.front();
    queue_.erase(queue_.begin());
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
