#pragma once

#include <QtGlobal>

// POSIX signals sent to other processes. The numbers differ between platforms, so callers ask for them
// here instead of writing them down.
namespace ProcessSignals {

int terminateSignal(); // SIGTERM
int killSignal();      // SIGKILL
int stopSignal();      // SIGSTOP
int continueSignal();  // SIGCONT

// Sends `signal` (0 only checks that the process exists) and returns 0, or the call's errno.
int send(qint32 pid, int signal);

qint32 ownProcessId();

} // namespace ProcessSignals
