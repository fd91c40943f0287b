// The walker's explicit stack: one item per open constructed element, so
// that nesting costs heap and not machine stack.
#pragma once

#include <cstdint>

#include "catalog/Asn1Node.h"
#include "catalog/WalkResult.h"
#include "platform/ByteReader.h"
#include "runtime/Allocator.h"

namespace TarnVerifyTrustDriver {

// One open level: the unread rest of an element's contents and the element
// being handled at this level.
class ParserStackItem : public TAllocator<ParserStackItem> {
public:
    ParserStackItem(korva::platform::ByteSpan contents, uint32_t fileOffset) : reader(contents), offset(fileOffset) {}
    virtual ~ParserStackItem() = default;

    // Opens the item again for another level: its result and status start
    // anew. The level's place is the walk's to write before it reads it
    // (see below), and `node` is written before a callback reads it.
    void Reuse() {
        result = kWalkSuccess;
        status = 0;
    }

    // The level's place: the walk keeps it in locals while it walks the
    // level's elements and writes it here, behind the element, when it
    // descends into one; it takes it up again when that element is done.
    // A new item starts with its contents; a reused one keeps the place of
    // the level it served until the walk descends from it.
    korva::platform::ByteReader reader;  // position and remaining octets
    Asn1Node node;                       // the element being handled, as last reported
    uint32_t oidFlags = 0;               // the level's flags; a level starts with its parent's
    uint8_t depth = 0;                   // stack count when pushed
    uint32_t count = 0;                  // elements started at this level
    bool emptyAllowed = false;           // the empty-allowed test, for an empty constructed element
    uint32_t offset = 0;                 // file offset of the reader's position
    ParserStackItem* below = nullptr;
    ParserStackItem* above = nullptr;
    uint32_t result = kWalkSuccess;
    uint32_t status = 0;                 // last toolkit status met at this level
};

class ParserStack : public TAllocator<ParserStack> {
public:
    // Creates a toolkit context without service providers; the stack is
    // valid only when that succeeded.
    ParserStack();
    virtual ~ParserStack();
    ParserStack(const ParserStack&) = delete;
    ParserStack& operator=(const ParserStack&) = delete;

    // Give the item the current count as its depth and put it on top. A null
    // item only traces; an invalid stack ignores both. Inline, as the walk
    // pushes and pops once per constructed element.
    void Push(ParserStackItem* item) {
        if (valid_ == 0) return;
        if (item == nullptr) return TraceNullItem();
        item->depth = count_;
        item->below = top_;
        item->above = nullptr;
        if (top_ != nullptr) top_->above = item;
        top_ = item;
        ++count_;
    }
    // The top item, unlinked; null when empty or invalid.
    ParserStackItem* Pop() {
        if (valid_ == 0 || top_ == nullptr) return nullptr;
        ParserStackItem* item = top_;
        top_ = item->below;
        if (top_ != nullptr) top_->above = nullptr;
        item->below = nullptr;
        --count_;
        return item;
    }
    ParserStackItem* Top() const { return top_; }
    uint8_t Count() const { return count_; }
    bool IsValid() const { return valid_ != 0; }
    korva::toolkit::ToolkitContext* Context() const { return context_; }

private:
    static void TraceNullItem();

    ParserStackItem* top_ = nullptr;
    uint8_t count_ = 0;
    uint8_t valid_ = 0;
    korva::toolkit::ToolkitContext* context_ = nullptr;
};

}  // namespace TarnVerifyTrustDriver
