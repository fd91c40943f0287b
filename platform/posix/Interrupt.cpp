#include "platform/Interrupt.h"

#include <signal.h>

namespace korva::platform {

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnSignal(int) { g_interrupted = 1; }

}  // namespace

bool InstallInterruptHandler() {
    // Without SA_RESTART, so that a poll() the signal arrives in returns.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

bool Interrupted() { return g_interrupted != 0; }

}  // namespace korva::platform
