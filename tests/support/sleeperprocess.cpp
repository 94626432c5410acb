#include "sleeperprocess.h"

#include "childguard.h"
#include "platform/listings/processidentity.h"
#include "platform/system/filedescriptor.h"

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace SleeperProcess {

namespace {

constexpr int attempts = 200;

qint32 spawnSleeper()
{
    char program[] = "/bin/sleep";
    char duration[] = "600";
    char* arguments[] = {program, duration, nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, program, nullptr, nullptr, arguments, environ) != 0)
        return 0;
    ChildGuard::track(qint32(pid));
    return qint32(pid);
}

} // namespace

qint32 start()
{
    return spawnSleeper();
}

qint32 startWithPid(qint32 pid, std::optional<quint64> notStartedAt)
{
    const FileDescriptor lastPid(::open("/proc/sys/kernel/ns_last_pid", O_RDWR | O_CLOEXEC));
    if (!lastPid.isValid())
        return 0;
    // Others that set ids this way wait for us.
    if (::flock(lastPid.get(), LOCK_EX) != 0)
        return 0;
    qint32 started = 0;
    for (int attempt = 0; attempt < attempts && started == 0; ++attempt) {
        const QByteArray previous = QByteArray::number(pid - 1);
        if (::pwrite(lastPid.get(), previous.constData(), size_t(previous.size()), 0) != previous.size())
            break;
        const qint32 child = spawnSleeper();
        if (child == 0)
            break;
        // Another process of the machine may have come first, or the clock not moved on since the listed start.
        if (child == pid && (!notStartedAt || ProcessIdentity::startTime(child) != notStartedAt))
            started = child;
        else
            stop(child);
    }
    ::flock(lastPid.get(), LOCK_UN);
    return started;
}

bool isRunning(qint32 pid)
{
    // Looks without reaping, so the id stays this child's.
    siginfo_t info{};
    return ::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

void stop(qint32 pid)
{
    if (pid <= 1)
        return;
    ::kill(pid_t(pid), SIGKILL);
    int status = 0;
    while (::waitpid(pid_t(pid), &status, 0) < 0 && errno == EINTR) {
    }
    ChildGuard::forget(pid);
}

} // namespace SleeperProcess
