#include "toolkit/PathSearch.h"

#include "runtime/MemoryService.h"
#include "toolkit/PathLists.h"
#include "toolkit/PathReport.h"
#include "toolkit/PathSearchMemo.h"
#include "toolkit/PathValidation.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

constexpr uint32_t kNoLoop = UINT32_MAX;

// One level of the search: the certificate being tried, taken from the
// candidate list of the level below (the start certificate has none), and
// what its own search has met so far.
struct Frame {
    CertObject* current;
    const ObjectList* candidates;  // owned by the memo
    uint32_t position;
    uint32_t count;
    bool inPath;
    // The lowest path position a loop below this certificate ran into, and
    // whether an anchor below it failed validation: either makes its failure
    // depend on the path beneath it, so it is not remembered as dead.
    uint32_t lowestLoop;
    bool anchorFailed;
};

class FrameStack {
public:
    ~FrameStack() { mem::FreeBuffer(frames_); }
    bool Empty() const { return count_ == 0; }
    uint32_t Depth() const { return count_ - 1; }
    Frame& Top() { return frames_[count_ - 1]; }
    Frame* Below() { return count_ >= 2 ? &frames_[count_ - 2] : nullptr; }
    void Pop() { --count_; }
    bool Push(const Frame& frame) {
        if (count_ == capacity_) {
            uint32_t capacity = capacity_ == 0 ? 16 : capacity_ * 2;
            auto* grown = static_cast<Frame*>(mem::ReallocateBuffer(frames_, sizeof(Frame) * capacity));
            if (grown == nullptr) return false;
            frames_ = grown;
            capacity_ = capacity;
        }
        frames_[count_++] = frame;
        return true;
    }

private:
    Frame* frames_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
};

Frame FrameAt(CertObject* cert, const ObjectList* candidates, uint32_t position, uint32_t count) {
    return Frame{cert, candidates, position, count, false, kNoLoop, false};
}

class Search {
public:
    Search(ToolkitContext* context, const PathParams* params, PathBudget* budget)
        : context_(context), params_(params), budget_(budget) {}
    ~Search() { ObjectListFree(&path_); }

    Status Run(CertObject* start, const PathOutLists& out) {
        if (ObjectListCreate(&path_) != kOk || !frames_.Push(FrameAt(start, nullptr, 0, 1))) return kOutOfMemory;
        while (!frames_.Empty()) {
            if (++budget_->searchSteps > kPathMaxSearchSteps) budget_->exhausted = true;
            if (budget_->exhausted) break;
            Status status = Step(out);
            if (status != kPathAtTrustAnchor) return status;
        }
        return lastFailure_;
    }

private:
    // Takes up the top frame's certificate: 0 when a path was found, 1792
    // when memory ran out, 1872 to go on.
    Status Step(const PathOutLists& out) {
        Frame& top = frames_.Top();
        uint32_t loopAt = 0;
        if (CertListFind(path_, top.current, &loopAt) == kOk) {
            // A loop: this frame's remaining candidates are not tried either.
            frames_.Pop();
            Frame& below = frames_.Top();
            if (loopAt < below.lowestLoop) below.lowestLoop = loopAt;
            return Abandon();
        }
        const PathMemoEntry* known = memo_.Find(top.current);
        if (known != nullptr && known->dead) return Abandon();
        if (CertListAppendReference(path_, top.current, nullptr) != kOk) return kOutOfMemory;
        top.inPath = true;
        if (PathIsAnchor(params_->trustedCerts, top.current)) {
            Status status = PathValidate(context_, params_, path_, out);
            if (status == kOk) return PathListMerge(out.path, path_);
            if (status == kOutOfMemory) return status;
            lastFailure_ = status;
            frames_.Top().anchorFailed = true;
            return Abandon();
        }
        const ObjectList* candidates = nullptr;
        if (Status status = Candidates(top.current, &candidates); status != kOk) return status;
        uint32_t count = PathListCount(candidates);
        if (count == 0) return Abandon();
        if (!frames_.Push(FrameAt(PathListCert(candidates, 0), candidates, 0, count))) return kOutOfMemory;
        return kPathAtTrustAnchor;
    }

    // The issuer candidates of `cert`, searched once per request. A failing
    // search counts as none; only running out of memory ends the request.
    Status Candidates(CertObject* cert, const ObjectList** out) {
        PathMemoEntry* entry = memo_.Entry(cert);
        if (entry == nullptr) return kOutOfMemory;
        if (!entry->searched) {
            entry->searched = true;
            if (ObjectListCreate(&entry->candidates) != kOk) return kOutOfMemory;
            Status status = PathFindIssuerCandidates(context_, params_, cert, entry->candidates, budget_);
            if (status == kOutOfMemory) return status;
            if (status != kOk) ObjectListFree(&entry->candidates);
        }
        *out = entry->candidates;
        return kOk;
    }

    // The top frame's certificate is a dead end: take it out of the path,
    // remember it when its failure holds whatever lies beneath it, and move
    // to the next candidate, dropping exhausted frames on the way down.
    Status Abandon() {
        while (!frames_.Empty()) {
            Frame& top = frames_.Top();
            if (top.inPath) {
                ObjectListRemove(path_, PathListCount(path_) - 1);
                top.inPath = false;
            }
            if (top.lowestLoop >= frames_.Depth() && !top.anchorFailed) {
                if (PathMemoEntry* entry = memo_.Entry(top.current)) entry->dead = true;
            }
            if (Frame* below = frames_.Below()) {
                if (top.lowestLoop < below->lowestLoop) below->lowestLoop = top.lowestLoop;
                below->anchorFailed = below->anchorFailed || top.anchorFailed;
            }
            if (++top.position < top.count) {
                top = FrameAt(PathListCert(top.candidates, top.position), top.candidates, top.position, top.count);
                return kPathAtTrustAnchor;
            }
            frames_.Pop();
        }
        return kPathAtTrustAnchor;
    }

    ToolkitContext* context_;
    const PathParams* params_;
    PathBudget* budget_;
    // Why the last path that reached an anchor failed validation; 1872
    // while none has.
    Status lastFailure_ = kPathAtTrustAnchor;
    ObjectList* path_ = nullptr;
    FrameStack frames_;
    PathSearchMemo memo_;
};

}  // namespace

Status PathSearch(ToolkitContext* context, const PathParams* params, CertObject* start, const PathOutLists& out,
                  PathBudget* budget) {
    Search search(context, params, budget);
    Status status = search.Run(start, out);
    return status == kOk || status == kOutOfMemory ? status : PathReject(context, PathReason::kNoPathToAnchor, status);
}

}  // namespace korva::toolkit
