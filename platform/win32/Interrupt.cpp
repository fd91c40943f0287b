#include <windows.h>

#include <atomic>

#include "platform/Interrupt.h"

namespace korva::platform {

namespace {

std::atomic<bool> g_interrupted{false};

// Runs on a thread of its own; the main thread sees the flag when its wait
// ends, so callers wait with a bounded timeout.
BOOL WINAPI OnConsoleEvent(DWORD) {
    g_interrupted = true;
    return TRUE;
}

}  // namespace

bool InstallInterruptHandler() { return ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != FALSE; }

bool Interrupted() { return g_interrupted; }

}  // namespace korva::platform
