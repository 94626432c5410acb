#pragma once

#include <QtGlobal>

#if defined(Q_OS_LINUX)
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

// The pidfd calls by number: the C library may be older than the kernel, and glibc 2.36 declares pidfd_open
// without C linkage for C++.
inline int pidfdOpen(qint32 pid)
{
    return int(::syscall(SYS_pidfd_open, pid_t(pid), 0u));
}

inline int pidfdSendSignal(int pidfd, int signal)
{
    return int(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0u));
}
#endif
