#pragma once

#include <QtGlobal>

// Children a test started, killed even when the test run ends on an unhandled exception (Qt Test
// rethrows it out of main, so no cleanup function or destructor runs then).
namespace ChildGuard {

void track(qint32 pid);
// For a child the test has reaped itself: its id may belong to another process from now on.
void forget(qint32 pid);
// SIGKILL (and SIGCONT, for a stopped one) to every tracked child; forgets them.
QList<qint32> killAll();
// Kills the tracked children before the run terminates abnormally.
void installTerminateHandler();

} // namespace ChildGuard
