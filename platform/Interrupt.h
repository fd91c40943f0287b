// A request to stop, from the user or the system, as a flag a long-running
// command polls between its steps: SIGINT and SIGTERM on POSIX (whose arrival
// also ends a change-notification wait early), Ctrl-C, Ctrl-Break and console
// close on Windows.
#pragma once

namespace korva::platform {

// Installs the handlers; false when the host refused them.
bool InstallInterruptHandler();
// Whether a stop was asked for since the handlers were installed.
bool Interrupted();

}  // namespace korva::platform
