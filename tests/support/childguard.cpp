#include "childguard.h"

#include <QList>
#include <QMutex>

#include <csignal>
#include <cstdlib>
#include <exception>
#include <sys/types.h>

namespace ChildGuard {

namespace {

QMutex& lock()
{
    static QMutex mutex;
    return mutex;
}

QList<qint32>& tracked()
{
    static QList<qint32> pids;
    return pids;
}

std::terminate_handler previousHandler = nullptr;

} // namespace

void track(qint32 pid)
{
    if (pid <= 1)
        return;
    const QMutexLocker locker(&lock());
    if (!tracked().contains(pid))
        tracked().append(pid);
}

void forget(qint32 pid)
{
    const QMutexLocker locker(&lock());
    tracked().removeAll(pid);
}

QList<qint32> killAll()
{
    const QMutexLocker locker(&lock());
    const QList<qint32> pids = std::exchange(tracked(), {});
    for (const qint32 pid : pids) {
        ::kill(pid_t(pid), SIGKILL);
        ::kill(pid_t(pid), SIGCONT);
    }
    return pids;
}

void installTerminateHandler()
{
    if (previousHandler)
        return;
    previousHandler = std::set_terminate([] {
        killAll();
        if (previousHandler)
            previousHandler();
        std::abort();
    });
}

} // namespace ChildGuard
