#include "platform/socketdiagnostics.h"

#if defined(Q_OS_LINUX)

#include "platform/filedescriptor.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace SocketDiagnostics {

namespace {

using ProcFileSystem::SocketAddress;
using ProcFileSystem::TcpSocket;

constexpr std::size_t align(std::size_t length)
{
    return (length + NLMSG_ALIGNTO - 1) & ~std::size_t(NLMSG_ALIGNTO - 1);
}

constexpr std::size_t headerLength = align(sizeof(nlmsghdr));

SocketAddress addressOf(const __be32 (&words)[4])
{
    SocketAddress address{};
    static_assert(sizeof words == std::tuple_size_v<SocketAddress>);
    std::memcpy(address.data(), words, sizeof words);
    return address;
}

std::optional<TcpSocket> socketOf(const inet_diag_msg& message)
{
    if (message.idiag_inode == 0)
        return std::nullopt;
    const bool ipv6 = message.idiag_family == AF_INET6;
    bool remoteUnspecified = false;
    const std::optional<QString> local =
        ProcFileSystem::formatSocketAddress(addressOf(message.id.idiag_src), ipv6, ntohs(message.id.idiag_sport));
    const std::optional<QString> remote = ProcFileSystem::formatSocketAddress(
        addressOf(message.id.idiag_dst), ipv6, ntohs(message.id.idiag_dport), &remoteUnspecified);
    if (!local || !remote)
        return std::nullopt;
    return TcpSocket{message.idiag_inode, remoteUnspecified ? *local : *local + u"->" + *remote,
                     ProcFileSystem::tcpStateName(message.idiag_state)};
}

bool sendRequest(int fd, int family, quint32 stateMask, quint32 sequence)
{
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    message.header.nlmsg_seq = sequence;
    message.request.sdiag_family = quint8(family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = stateMask;

    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    for (;;) {
        const ssize_t sent =
            ::sendto(fd, &message, sizeof message, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
        if (sent < 0 && errno == EINTR)
            continue;
        return sent == ssize_t(sizeof message);
    }
}

// Reads the answers to one dump until its end; false on any error the kernel reports or a message cut short.
bool readDump(int fd, quint32 sequence, QList<TcpSocket>& sockets)
{
    QByteArray buffer(65536, Qt::Uninitialized);
    for (;;) {
        const ssize_t received = ::recv(fd, buffer.data(), std::size_t(buffer.size()), MSG_TRUNC);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0 || received > buffer.size())
            return false;
        std::size_t at = 0;
        const auto end = std::size_t(received);
        while (end - at >= sizeof(nlmsghdr)) {
            nlmsghdr header;
            std::memcpy(&header, buffer.constData() + at, sizeof header);
            if (header.nlmsg_len < sizeof header || header.nlmsg_len > end - at)
                return false;
            const char* payload = buffer.constData() + at + headerLength;
            const std::size_t payloadLength = header.nlmsg_len - std::min<std::size_t>(header.nlmsg_len, headerLength);
            at += align(header.nlmsg_len);
            if (header.nlmsg_seq != sequence)
                continue;
            if (header.nlmsg_type == NLMSG_DONE) {
                // Newer kernels put the dump's outcome after the header.
                int status = 0;
                if (payloadLength >= sizeof status)
                    std::memcpy(&status, payload, sizeof status);
                return status == 0;
            }
            if (header.nlmsg_type == NLMSG_ERROR)
                return false;
            if (header.nlmsg_type != SOCK_DIAG_BY_FAMILY || payloadLength < sizeof(inet_diag_msg))
                continue;
            inet_diag_msg message;
            std::memcpy(&message, payload, sizeof message);
            if (std::optional<TcpSocket> socket = socketOf(message))
                sockets.append(std::move(*socket));
        }
    }
}

} // namespace

std::optional<QList<TcpSocket>> tcpSockets(quint32 stateMask)
{
    const FileDescriptor fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (!fd.isValid())
        return std::nullopt;
    QList<TcpSocket> sockets;
    quint32 sequence = 0;
    for (const int family : {AF_INET, AF_INET6}) {
        ++sequence;
        if (!sendRequest(fd.get(), family, stateMask, sequence) || !readDump(fd.get(), sequence, sockets))
            return std::nullopt;
    }
    return sockets;
}

} // namespace SocketDiagnostics

#else

namespace SocketDiagnostics {

std::optional<QList<ProcFileSystem::TcpSocket>> tcpSockets(quint32)
{
    return std::nullopt;
}

} // namespace SocketDiagnostics

#endif
