// The test-only I/O fault, shared by both hosts. Lock-free so that it costs one
// atomic load per call while disarmed.
#include <atomic>

#include "platform/IoFault.h"

#include "platform/Files.h"
#include "platform/IoFaultPoint.h"

namespace korva::platform {

namespace {

std::atomic<IoFault::Kind> g_kind{IoFault::Kind::None};
std::atomic<uint32_t> g_ordinal{0};
std::atomic<uint32_t> g_shortBy{0};
std::atomic<uint32_t> g_seen{0};
std::atomic<uint64_t> g_size{0};

bool Matches(IoFault::Kind kind, detail::IoDirection direction) {
    switch (kind) {
        case IoFault::Kind::FailRead:
        case IoFault::Kind::ShortRead: return direction == detail::IoDirection::Read;
        case IoFault::Kind::FailWrite:
        case IoFault::Kind::ShortWrite: return direction == detail::IoDirection::Write;
        case IoFault::Kind::FakeSize: return direction == detail::IoDirection::Size;
        case IoFault::Kind::FailSeek: return direction == detail::IoDirection::Seek;
        case IoFault::Kind::None: break;
    }
    return false;
}

}  // namespace

void ArmIoFault(const IoFault& fault) {
    g_kind.store(IoFault::Kind::None);
    g_seen.store(0);
    g_ordinal.store(fault.ordinal);
    g_shortBy.store(fault.shortBy);
    g_size.store(fault.size);
    g_kind.store(fault.kind);
}

void DisarmIoFault() { g_kind.store(IoFault::Kind::None); }

uint32_t IoFaultCallsSeen() { return g_seen.load(); }

namespace {

// Counts a call of `direction` while a fault of its kind is armed; true
// when this call is the one to hit.
bool Hits(IoFault::Kind kind, detail::IoDirection direction) {
    return Matches(kind, direction) && g_seen.fetch_add(1) + 1 == g_ordinal.load();
}

}  // namespace

void detail::InjectFileSize(uint64_t& size) {
    if (Hits(g_kind.load(), IoDirection::Size)) size = g_size.load();
}

bool detail::InjectIoFault(IoDirection direction, uint32_t& size, uint32_t& transferred) {
    IoFault::Kind kind = g_kind.load();
    if (!Hits(kind, direction)) return false;
    if (kind == IoFault::Kind::FailRead || kind == IoFault::Kind::FailWrite || kind == IoFault::Kind::FailSeek) {
        transferred = 0;
        SetLastError(kErrorIoDevice);
        return true;
    }
    uint32_t shortBy = g_shortBy.load();
    size = size > shortBy ? size - shortBy : 0;
    return false;
}

}  // namespace korva::platform
