// What the in-memory database's slot files share: the checks every slot
// makes of its handle and stores, and the position-based walks.
#pragma once

#include <cstdint>

#include "toolkit/Imdb.h"
#include "toolkit/ImdbSlots.h"

namespace korva::toolkit {

// Reports `code` as an error naming `argument`, with the caller's line.
Status ImdbReport(ToolkitContext* context, Status code, const char* file, uint32_t line, const char* argument);

// The handle, or 1799 "handle" reported for a null one.
Status ImdbHandleCheck(ToolkitContext* context, void* handle, ImdbHandle** out, const char* file, uint32_t line);
// 1801 reported when `store` is absent.
Status ImdbStoreCheck(ToolkitContext* context, const void* store, const char* file, uint32_t line);

// One step of a walk over `count` elements: the first call allocates the
// position at 0, later calls advance it. Past the end, or when the iterator
// was already freed, 1800 (the iterator freed and cleared). On success
// `index` is the element to hand out; a failure of the caller's hand-out
// must be passed to ImdbIterationFailed.
Status ImdbIterationStep(ImdbIterator* iterator, bool first, uint32_t count, uint32_t* index);
Status ImdbIterationFailed(ImdbIterator* iterator, Status failure);

// One step of a walk over `store`, handing out the element the position
// names with `handOut(index)`.
template <typename HandOut>
Status ImdbWalk(ToolkitContext* context, const ObjectList* store, ImdbIterator* iterator, bool first, HandOut handOut) {
    if (iterator == nullptr) return ImdbReport(context, kInvalidArgument, __FILE__, __LINE__, "iterator");
    uint32_t count = 0;
    uint32_t index = 0;
    if (Status status = ObjectListCount(store, &count); status != kOk) return status;
    if (Status status = ImdbIterationStep(iterator, first, count, &index); status != kOk) return status;
    Status status = handOut(index);
    return status == kOk ? kOk : ImdbIterationFailed(iterator, status);
}

}  // namespace korva::toolkit
