// The catalog store's trace events: most mark a failure and end the step.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

inline void StoreEvent(uint32_t number, korva::trace::Level level, std::initializer_list<korva::trace::Value> data = {}) {
    korva::trace::Emit(korva::trace::Source::Store, number, level, data);
}

// Reports the event and gives false, for `return StoreFailure(...)`.
inline bool StoreFailure(uint32_t number, korva::trace::Level level,
                         std::initializer_list<korva::trace::Value> data = {}) {
    StoreEvent(number, level, data);
    return false;
}

}  // namespace TarnVerifyTrustDriver
