#pragma once

#include "platform/procfilesystem.h"

#include <QList>

#include <optional>

// Linux's socket-diagnostics netlink interface: the kernel hands over only the TCP sockets in the states asked for,
// without formatting its whole table (TIME-WAIT sockets included) as /proc/net/tcp does. Blocking: call it off the
// GUI thread.
namespace SocketDiagnostics {

// A mask of the kernel's TCP state numbers.
constexpr quint32 stateBit(int state)
{
    return quint32(1) << state;
}
constexpr int establishedState = 1;
constexpr int listenState = 10;

// The IPv4 and then the IPv6 TCP sockets in the states of `stateMask` that have an inode, written as
// ProcFileSystem::parseNetTcp writes them; std::nullopt when the kernel refuses the request (no netlink here, a
// sandbox, diagnostics not built in), so the caller can read /proc/net/tcp instead.
std::optional<QList<ProcFileSystem::TcpSocket>> tcpSockets(quint32 stateMask);

} // namespace SocketDiagnostics
