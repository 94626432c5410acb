#include "platform/launching/processsignals.h"

#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace ProcessSignals {

int terminateSignal()
{
    return SIGTERM;
}

int killSignal()
{
    return SIGKILL;
}

int stopSignal()
{
    return SIGSTOP;
}

int continueSignal()
{
    return SIGCONT;
}

int send(qint32 pid, int signal)
{
    // 0 and negative ids name process groups; nothing here ever means a group.
    if (pid <= 0)
        return ESRCH;
    if (::kill(static_cast<pid_t>(pid), signal) == 0)
        return 0;
    return errno;
}

qint32 ownProcessId()
{
    return static_cast<qint32>(::getpid());
}

} // namespace ProcessSignals
