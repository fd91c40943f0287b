// Walks the catalogs of a directory scan ahead of the store, on worker
// threads. The scan puts its catalogs in a window of slots in its order and
// takes them out in the same order, so the store takes every catalog in, and
// every walk's trace events come out, where a one-thread scan has them. The
// window is bounded by count and by the bytes of the catalogs queued behind
// its oldest one: what waits to be stored does not grow with the tree, yet a
// huge catalog at the front leaves the other threads walking the ones after it.
//
// A large catalog further on is walked early, in a few slots of its own that
// the window's bounds leave out: one found last in a scan would otherwise be
// walked by one thread alone while the others have nothing left to walk.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "engine/PreparedWalk.h"
#include "platform/Directory.h"

namespace TarnVerifyTrustDriver {

class WalkAhead {
public:
    static constexpr size_t kSlotsPerThread = 32;
    // Catalog bytes queued behind the oldest slot before the window is full.
    static constexpr uint64_t kWaitingBytes = 8u << 20;
    // A catalog of this many bytes is worth walking early.
    static constexpr uint64_t kEarlyBytes = 4u << 20;

    struct Slot {
        const std::wstring* directory = nullptr;
        std::wstring path;
        korva::platform::FindData entry;
        PreparedWalk walk;
        uint64_t bytes = 0;  // the file's size once queued in the window, else 0
        bool queued = false;
        bool walked = false;  // under the lock
        size_t walker = 0;    // who walked it: 0 the scanning thread, else thread walker - 1
        bool early = false;   // one of the early slots
        bool held = false;    // an early slot in use
        bool claimed = false;  // an early slot that a window slot stands on
        Slot* stand = nullptr;  // the early slot whose walk stands in for this one's

        PreparedWalk& prepared() { return stand != nullptr ? stand->walk : walk; }
    };

    // One thread per verifier of `others`, each walking with its own; the
    // scanning thread walks with `own` while it waits in Front(). No threads
    // (a window of one, walked by the store) when there are no others or
    // none starts.
    WalkAhead(ICatalogVerifier& own, std::span<ICatalogVerifier* const> others, CCallbacks* callbacks);
    // Stops the threads, each after the walk it is in.
    ~WalkAhead();
    WalkAhead(const WalkAhead&) = delete;
    WalkAhead& operator=(const WalkAhead&) = delete;

    size_t threads() const { return threads_.size(); }
    bool empty() const { return count_ == 0; }
    bool full() const { return count_ == capacity_ || queuedBytes_ - slots_[head_].bytes > waitingBytes_; }
    // Whether the catalog listed by `entry` is to be walked early (with threads only).
    bool WorthEarly(const korva::platform::FindData& entry) const;
    // A cleared slot at the back of the window; only when it is not full.
    Slot& Push();
    bool EarlyFree() const;
    // A cleared early slot; only when one is free.
    Slot& PushEarly();
    // Hands the slot's catalog to the next free thread; an early slot goes
    // before every slot of the window.
    void Queue(Slot& slot);
    // Lets an early slot of the same catalog, size and time stand in for
    // `slot`; false when none is held.
    bool Claim(Slot& slot);
    // Drops the early slots no window slot has claimed, once walked.
    void ReleaseUnclaimed();
    // The oldest slot, once its walk (if one was queued) has ended; the
    // caller walks queued slots meanwhile.
    Slot& Front();
    void Pop();

private:
    // The callbacks a thread made, closed by the store, for the thread to
    // delete: memory goes back where it came from, not across threads.
    struct Retired {
        std::vector<ICatalogEvidence*> callbacks;
        std::vector<ICatalogEvidence*> deleting;  // the thread's, outside the lock
    };

    void Work(size_t thread, ICatalogVerifier& verifier);
    // Lets go of a slot's walk once the store is done with it.
    void Retire(Slot& slot);
    // Deletes what the store gave back to a thread; called and returns with
    // `lock` held.
    void DeleteRetired(std::unique_lock<std::mutex>& lock, Retired& retired);
    // Takes `slot` off the queue and walks it; called and returns with `lock` held.
    void WalkQueued(std::unique_lock<std::mutex>& lock, std::vector<Slot*>::iterator slot, ICatalogVerifier& verifier,
                    size_t walker);

    CCallbacks* callbacks_;
    ICatalogVerifier& own_;  // the scanning thread's
    std::unique_ptr<Slot[]> slots_;
    std::unique_ptr<Slot[]> early_;
    size_t earlyCount_ = 0;
    uint64_t earlyBytes_;
    size_t capacity_ = 1;
    size_t head_ = 0;
    size_t count_ = 0;
    uint64_t queuedBytes_ = 0;  // of every queued slot in the window
    uint64_t waitingBytes_;
    std::mutex lock_;
    std::condition_variable queuedSignal_;
    std::condition_variable walkedSignal_;
    std::vector<Slot*> queue_;  // slots to walk: early ones, then the window's oldest first
    std::unique_ptr<Retired[]> retired_;  // one for each thread
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace TarnVerifyTrustDriver
