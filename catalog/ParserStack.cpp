#include "catalog/ParserStack.h"

#include "platform/Trace.h"
#include "toolkit/Context.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;

ParserStack::ParserStack() {
    if (korva::toolkit::ContextCreate(nullptr, nullptr, 0, &context_) == korva::toolkit::kOk && context_ != nullptr) {
        valid_ = 1;
    }
}

ParserStack::~ParserStack() {
    if (valid_ != 0) korva::toolkit::ContextFree(&context_);
}

void ParserStack::Push(ParserStackItem* item) {
    if (valid_ == 0) return;
    if (item == nullptr) {
        trace::Emit(trace::Source::Asn1, 12, trace::Level::Error);
        return;
    }
    item->depth = count_;
    item->below = top_;
    item->above = nullptr;
    if (top_ != nullptr) top_->above = item;
    top_ = item;
    ++count_;
}

ParserStackItem* ParserStack::Pop() {
    if (valid_ == 0 || top_ == nullptr) return nullptr;
    ParserStackItem* item = top_;
    top_ = item->below;
    if (top_ != nullptr) top_->above = nullptr;
    item->below = nullptr;
    --count_;
    return item;
}

}  // namespace TarnVerifyTrustDriver
