// Test-only I/O fault injection for the file calls of platform/Files.h.
#pragma once

#include <cstdint>

namespace korva::platform {

// Test-only I/O fault injection: the N-th read, write or seek (counted from 1
// after Arm) fails outright (kErrorIoDevice, nothing transferred) or succeeds with
// fewer bytes transferred. Ordinal 0 only counts, so a first run can learn how
// many calls a sweep must cover. Never reachable from the tool.
struct IoFault {
    enum class Kind { None, FailRead, ShortRead, FailWrite, ShortWrite, FailSeek };
    Kind kind = Kind::None;
    uint32_t ordinal = 0;      // which matching call is hit
    uint32_t shortBy = 1;      // bytes withheld by a short transfer
};
void ArmIoFault(const IoFault& fault);
void DisarmIoFault();
uint32_t IoFaultCallsSeen();  // read, write or seek calls matching the armed kind so far

}  // namespace korva::platform
