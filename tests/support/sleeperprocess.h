#pragma once

#include <QtGlobal>

#include <optional>

// Plain `sleep` children for the tests of process identity, started and reaped here; every one is tracked by
// ChildGuard until it is stopped.
namespace SleeperProcess {

// A sleeper under whatever id the kernel hands out; 0 when it could not start.
qint32 start();
// A sleeper under `pid`, which must be free, whose start time differs from `notStartedAt`: the kernel hands out
// the id after the one written to ns_last_pid next, so the test can make a process take a listed process's id.
// 0 when this system does not let the test choose ids (no root, no writable ns_last_pid) or others keep taking it.
qint32 startWithPid(qint32 pid, std::optional<quint64> notStartedAt);
// True while the sleeper has not ended (a stopped one counts as running).
bool isRunning(qint32 pid);
// Kills and reaps it, so that its id is free again.
void stop(qint32 pid);

} // namespace SleeperProcess
