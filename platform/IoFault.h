// Test-only I/O fault injection for the file calls of platform/Files.h.
#pragma once

#include <cstdint>

namespace korva::platform {

// Test-only I/O fault injection: the N-th read, write or seek (counted from 1
// after Arm) fails outright (kErrorIoDevice, nothing transferred) or succeeds
// with fewer bytes transferred, or the N-th size query reports `size` (so a
// test needs no file of 4 GiB to have one). Ordinal 0 only counts, so a first
// run can learn how many calls a sweep must cover. Never reachable from the tool.
struct IoFault {
    enum class Kind { None, FailRead, ShortRead, FailWrite, ShortWrite, FakeSize, FailSeek };
    Kind kind = Kind::None;
    uint32_t ordinal = 0;      // which matching call is hit
    uint32_t shortBy = 1;      // bytes withheld by a short transfer
    uint64_t size = 0;         // what a faked size query reports
};
void ArmIoFault(const IoFault& fault);
void DisarmIoFault();
uint32_t IoFaultCallsSeen();  // read, write or seek calls matching the armed kind so far

}  // namespace korva::platform
