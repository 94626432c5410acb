#include "platform/listings/socketdiagnostics.h"

#if defined(Q_OS_LINUX)

#include "platform/platformlog.h"
#include "platform/system/filedescriptor.h"

#include <QByteArray>

#include <algorithm>
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
constexpr qsizetype keyLength = 1 + qsizetype(sizeof(inet_diag_sockid));
// Answers to a batch of lookups wait in the socket's receive buffer until read.
constexpr qsizetype lookupBatch = 16;

SocketAddress addressOf(const __be32 (&words)[4])
{
    SocketAddress address{};
    static_assert(sizeof words == std::tuple_size_v<SocketAddress>);
    std::memcpy(address.data(), words, sizeof words);
    return address;
}

std::optional<Socket> socketOf(const inet_diag_msg& message)
{
    const bool ipv6 = message.idiag_family == AF_INET6;
    const quint16 localPort = ntohs(message.id.idiag_sport);
    const quint16 remotePort = ntohs(message.id.idiag_dport);
    bool remoteUnspecified = false;
    const std::optional<QString> local =
        ProcFileSystem::formatSocketAddress(addressOf(message.id.idiag_src), ipv6, localPort);
    const std::optional<QString> remote =
        ProcFileSystem::formatSocketAddress(addressOf(message.id.idiag_dst), ipv6, remotePort, &remoteUnspecified);
    if (!local || !remote)
        return std::nullopt;
    Socket socket;
    socket.socket = TcpSocket{message.idiag_inode, remoteUnspecified ? *local : *local + u"->" + *remote,
                              ProcFileSystem::tcpStateName(message.idiag_state)};
    socket.state = message.idiag_state;
    socket.localPort = localPort;
    socket.remotePort = remotePort;
    socket.key.resize(keyLength);
    socket.key[0] = char(message.idiag_family);
    std::memcpy(socket.key.data() + 1, &message.id, sizeof message.id);
    return socket;
}

struct Request
{
    nlmsghdr header;
    inet_diag_req_v2 request;
};

Request requestFor(int family, quint32 sequence)
{
    Request message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST;
    message.header.nlmsg_seq = sequence;
    message.request.sdiag_family = quint8(family);
    message.request.sdiag_protocol = IPPROTO_TCP;
    return message;
}

bool send(int fd, const void* data, std::size_t length)
{
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    for (;;) {
        const ssize_t sent = ::sendto(fd, data, length, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
        if (sent < 0 && errno == EINTR)
            continue;
        return sent == ssize_t(length);
    }
}

// The kernel's filter program for "a local or remote port is one of `ports`": one comparison per port and side,
// chained by "or". The kernel checks that every jump of a program lands on an instruction reached by falling
// through the ones before, so each comparison falls through to a jump to the end (a match) when it holds, and
// skips that jump to the next comparison when it does not; the last one jumps past the end (no match) instead.
QByteArray portFilter(const QSet<quint16>& ports)
{
    QList<quint16> sorted(ports.cbegin(), ports.cend());
    std::sort(sorted.begin(), sorted.end());
    constexpr int comparison = 2 * sizeof(inet_diag_bc_op);
    constexpr int jump = sizeof(inet_diag_bc_op);
    const qsizetype comparisons = 2 * sorted.size();
    const qsizetype length = comparisons * (comparison + jump) - jump;
    QList<inet_diag_bc_op> program;
    program.reserve(length / qsizetype(sizeof(inet_diag_bc_op)));
    for (const quint16 port : std::as_const(sorted)) {
        for (const unsigned char side : {INET_DIAG_BC_S_EQ, INET_DIAG_BC_D_EQ}) {
            program.append({side, comparison, comparison + jump});
            // The port the comparison reads, in host order.
            program.append({0, 0, port});
            const qsizetype offset = program.size() * qsizetype(sizeof(inet_diag_bc_op));
            if (offset < length)
                program.append({INET_DIAG_BC_JMP, jump, quint16(length - offset)});
        }
    }
    return QByteArray(reinterpret_cast<const char*>(program.constData()), length);
}

// A dump request for one family and the states of `stateMask`, with a filter program when one is given.
QByteArray dumpRequest(int family, quint32 sequence, quint32 stateMask, const QByteArray& filter)
{
    Request request = requestFor(family, sequence);
    request.header.nlmsg_flags |= NLM_F_DUMP;
    request.request.idiag_states = stateMask;
    nlattr attribute{};
    attribute.nla_len = quint16(NLA_HDRLEN + filter.size());
    attribute.nla_type = INET_DIAG_REQ_BYTECODE;
    // A program is whole instructions of 4 bytes: the message stays aligned.
    if (!filter.isEmpty())
        request.header.nlmsg_len += attribute.nla_len;
    QByteArray message(reinterpret_cast<const char*>(&request), sizeof request);
    if (!filter.isEmpty())
        message.append(reinterpret_cast<const char*>(&attribute), sizeof attribute).append(filter);
    return message;
}

// Reads answers, handing each message of ours to `take`, until it returns false (finished) or an error; false
// on an error, a message cut short or no answer within the socket's time limit.
template<typename Take>
bool readAnswers(int fd, Take&& take)
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
            const QByteArrayView payload(
                buffer.constData() + at + headerLength,
                qsizetype(header.nlmsg_len - std::min<std::size_t>(header.nlmsg_len, headerLength)));
            at += align(header.nlmsg_len);
            std::optional<bool> more = take(header, payload);
            if (!more)
                return false;
            if (!*more)
                return true;
        }
    }
}

std::optional<inet_diag_msg> diagnosisOf(const nlmsghdr& header, QByteArrayView payload)
{
    if (header.nlmsg_type != SOCK_DIAG_BY_FAMILY || std::size_t(payload.size()) < sizeof(inet_diag_msg))
        return std::nullopt;
    inet_diag_msg message;
    std::memcpy(&message, payload.data(), sizeof message);
    return message;
}

// Reads the answers to one dump until its end.
bool readDump(int fd, quint32 sequence, QList<Socket>& sockets)
{
    return readAnswers(fd, [&](const nlmsghdr& header, QByteArrayView payload) -> std::optional<bool> {
        if (header.nlmsg_seq != sequence)
            return true;
        if (header.nlmsg_type == NLMSG_DONE) {
            // Newer kernels put the dump's outcome after the header.
            int status = 0;
            if (std::size_t(payload.size()) >= sizeof status)
                std::memcpy(&status, payload.data(), sizeof status);
            if (status != 0)
                qCDebug(lcListings) << "sock_diag ended the dump with an error:" << qt_error_string(-status);
            return status == 0 ? std::optional(false) : std::nullopt;
        }
        if (header.nlmsg_type == NLMSG_ERROR) {
            int error = 0;
            if (std::size_t(payload.size()) >= sizeof error)
                std::memcpy(&error, payload.data(), sizeof error);
            qCDebug(lcListings) << "sock_diag refused the dump:" << qt_error_string(-error);
            return std::nullopt;
        }
        if (const std::optional<inet_diag_msg> message = diagnosisOf(header, payload)) {
            if (std::optional<Socket> socket = socketOf(*message))
                sockets.append(std::move(*socket));
        }
        return true;
    });
}

FileDescriptor openDiagnostics()
{
    FileDescriptor fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    // The kernel answers at once; a lost answer must not hang the scan.
    const timeval limit{1, 0};
    if (fd.isValid() && ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0)
        fd.reset();
    return fd;
}

// Whether each socket of the batch answers its lookup as the same ESTABLISHED socket.
bool lookUp(int fd, QList<Socket>::const_iterator first, QList<Socket>::const_iterator last)
{
    QList<Request> requests;
    quint32 sequence = 0;
    for (auto socket = first; socket != last; ++socket) {
        if (socket->key.size() != keyLength)
            return false;
        Request request = requestFor(quint8(socket->key[0]), ++sequence);
        std::memcpy(&request.request.id, socket->key.constData() + 1, sizeof request.request.id);
        requests.append(request);
    }
    if (!send(fd, requests.constData(), std::size_t(requests.size()) * sizeof(Request)))
        return false;
    // Each lookup gets one answer: the socket, or an error when it has gone.
    qsizetype answered = 0;
    return readAnswers(fd, [&](const nlmsghdr& header, QByteArrayView payload) -> std::optional<bool> {
        if (header.nlmsg_seq == 0 || header.nlmsg_seq > quint32(requests.size()))
            return true;
        const std::optional<inet_diag_msg> message = diagnosisOf(header, payload);
        const Socket& asked = *(first + (header.nlmsg_seq - 1));
        if (!message || message->idiag_state != establishedState || message->idiag_inode != asked.socket.inode)
            return std::nullopt;
        return ++answered < requests.size();
    });
}

// The dumps of both families, with the filter program when one is given.
std::optional<QList<Socket>> dump(quint32 stateMask, const QByteArray& filter)
{
    const FileDescriptor fd = openDiagnostics();
    if (!fd.isValid()) {
        qCDebug(lcListings) << "no sock_diag socket:" << qt_error_string(errno);
        return std::nullopt;
    }
    QList<Socket> sockets;
    quint32 sequence = 0;
    for (const int family : {AF_INET, AF_INET6}) {
        const QByteArray request = dumpRequest(family, ++sequence, stateMask, filter);
        if (!send(fd.get(), request.constData(), std::size_t(request.size()))) {
            qCDebug(lcListings) << "sock_diag took no dump request:" << qt_error_string(errno);
            return std::nullopt;
        }
        if (!readDump(fd.get(), sequence, sockets)) {
            qCDebug(lcListings) << "sock_diag gave no whole answer to the dump of family" << family;
            return std::nullopt;
        }
    }
    return sockets;
}

} // namespace

std::optional<QList<Socket>> tcpSockets(quint32 stateMask)
{
    return dump(stateMask, {});
}

std::optional<QList<Socket>> tcpSockets(quint32 stateMask, const QSet<quint16>& ports)
{
    if (ports.isEmpty())
        return QList<Socket>();
    const bool filtered = ports.size() <= maxFilteredPorts;
    std::optional<QList<Socket>> sockets = dump(stateMask, filtered ? portFilter(ports) : QByteArray());
    if (sockets && !filtered)
        sockets->removeIf([&](const Socket& socket) {
            return !ports.contains(socket.localPort) && !ports.contains(socket.remotePort);
        });
    return sockets;
}

bool stillEstablished(const QList<Socket>& sockets)
{
    if (sockets.size() > maxLookups)
        return false;
    if (sockets.isEmpty())
        return true;
    const FileDescriptor fd = openDiagnostics();
    if (!fd.isValid())
        return false;
    for (qsizetype at = 0; at < sockets.size(); at += lookupBatch) {
        const qsizetype end = std::min(sockets.size(), at + lookupBatch);
        if (!lookUp(fd.get(), sockets.cbegin() + at, sockets.cbegin() + end))
            return false;
    }
    return true;
}

} // namespace SocketDiagnostics

#else

namespace SocketDiagnostics {

std::optional<QList<Socket>> tcpSockets(quint32)
{
    return std::nullopt;
}

std::optional<QList<Socket>> tcpSockets(quint32, const QSet<quint16>&)
{
    return std::nullopt;
}

bool stillEstablished(const QList<Socket>& sockets)
{
    return sockets.isEmpty();
}

} // namespace SocketDiagnostics

#endif
