#pragma once

#include "platform/listings/procfilesystem.h"

#include <QByteArray>
#include <QList>
#include <QSet>

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
constexpr int synSentState = 2;
constexpr int synReceivedState = 3;
constexpr int listenState = 10;

// A socket as the kernel listed it.
struct Socket
{
    // Written as ProcFileSystem::parseNetTcp writes it; inode 0 for a connection no process holds yet (still in
    // its handshake, or waiting to be accepted).
    ProcFileSystem::TcpSocket socket;
    int state = 0;
    quint16 localPort = 0;
    quint16 remotePort = 0;
    // What finds this very socket again: its family, addresses, ports, interface and the kernel's cookie.
    QByteArray key;
};

// The IPv4 and then the IPv6 TCP sockets in the states of `stateMask`; std::nullopt when the kernel refuses the
// request (no netlink here, a sandbox, diagnostics not built in), so the caller can read /proc/net/tcp instead.
std::optional<QList<Socket>> tcpSockets(quint32 stateMask);
// Beyond these, tcpSockets on ports lists every socket in the states asked for: the kernel's filter for each port
// would outgrow its request.
constexpr qsizetype maxFilteredPorts = 512;
// The same, only the sockets with a side on one of `ports`: local (a server's end) or remote (a client's end). The
// kernel leaves the others out as it walks its table, so they cost no copy and no reading. None asked, none given.
std::optional<QList<Socket>> tcpSockets(quint32 stateMask, const QSet<quint16>& ports);

// How many sockets one call of stillEstablished looks up at most; more are refused.
constexpr qsizetype maxLookups = 64;
// Whether each socket is still the very one listed, with the same inode, and still ESTABLISHED: one lookup in the
// kernel's hash per socket, far cheaper than a dump, which walks the whole table. False on any doubt.
bool stillEstablished(const QList<Socket>& sockets);

} // namespace SocketDiagnostics
