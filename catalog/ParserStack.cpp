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

void ParserStack::TraceNullItem() { trace::Emit(trace::Source::Asn1, 12, trace::Level::Error); }

}  // namespace TarnVerifyTrustDriver
