#include "platform/serversocketscan.h"

#include "platform/socketdiagnostics.h"

#include <QAbstractEventDispatcher>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <map>

using namespace Qt::StringLiterals;

namespace {

using ProcFileSystem::SocketDescriptor;
using ProcFileSystem::TcpSocket;

const QString listenStateName = u"LISTEN"_s;
const QString establishedStateName = u"ESTABLISHED"_s;

QStringView localSide(QStringView endpoint)
{
    const qsizetype arrow = endpoint.indexOf(u"->");
    return arrow < 0 ? endpoint : endpoint.first(arrow);
}

QStringView remoteSide(QStringView endpoint)
{
    const qsizetype arrow = endpoint.indexOf(u"->");
    return arrow < 0 ? QStringView() : endpoint.sliced(arrow + 2);
}

std::optional<qint64> portOf(QStringView side)
{
    const qsizetype colon = side.lastIndexOf(u':');
    return colon < 0 ? std::nullopt : parseDecimal(side.sliced(colon + 1));
}

// The hosts the endpoints of a loopback or wildcard listener begin with ("0.0.0.0" and "::" are written "*").
bool isServerAddress(QStringView side)
{
    const qsizetype colon = side.lastIndexOf(u':');
    const QStringView host = colon < 0 ? side : side.first(colon);
    return host == u"*" || host == u"127.0.0.1" || host == u"[::1]";
}

} // namespace

ServerSocketScan::ServerSocketScan()
    : ServerSocketScan(Options{})
{}

ServerSocketScan::ServerSocketScan(Options options)
    : m_options(std::move(options))
{
    m_listingThread.setMaxThreadCount(1);
}

ServerSocketScan& ServerSocketScan::shared()
{
    static ServerSocketScan scan;
    return scan;
}

ServerSocketScan::Report ServerSocketScan::lastReport() const
{
    const std::lock_guard lock(m_walk);
    return m_report;
}

struct ServerSocketScan::Batch
{
    std::once_flag taken;
    std::shared_ptr<const Snapshot> snapshot;
    bool processes = false;
    bool connections = false;
    // Until the asking thread's event loop turns.
    std::atomic<bool> open = true;
};

std::shared_ptr<ServerSocketScan::Batch> ServerSocketScan::join(Part part)
{
    const std::lock_guard lock(m_batches);
    std::shared_ptr<Batch> batch = m_openBatch.lock();
    const auto taken = [&] {
        return part == Part::Processes ? batch->processes : batch->connections;
    };
    if (!batch || !batch->open || taken()) {
        batch = std::make_shared<Batch>();
        m_openBatch = batch;
        if (QAbstractEventDispatcher::instance())
            QTimer::singleShot(0, [weak = std::weak_ptr(batch)] {
                if (const std::shared_ptr<Batch> closing = weak.lock())
                    closing->open = false;
            });
        else
            batch->open = false;
    }
    (part == Part::Processes ? batch->processes : batch->connections) = true;
    return batch;
}

std::shared_ptr<const ServerSocketScan::Snapshot> ServerSocketScan::snapshotOf(Batch& batch)
{
    std::call_once(batch.taken, [&] { batch.snapshot = std::make_shared<const Snapshot>(takeSnapshot()); });
    return batch.snapshot;
}

ServerSocketScan::Snapshot ServerSocketScan::takeSnapshot()
{
    Snapshot snapshot;
    snapshot.listing = listSockets();
    if (m_options.afterSocketListing)
        m_options.afterSocketListing();
    snapshot.holders = holdersOf(snapshot.listing);
    readProcesses(snapshot);
    return snapshot;
}

std::optional<QList<TcpSocket>> ServerSocketScan::kernelSockets(bool* keptConnections)
{
    using SocketDiagnostics::Socket;
    using SocketDiagnostics::stateBit;
    *keptConnections = false;
    const std::optional<ProcFileSystem::TcpOpenings> openings = ProcFileSystem::tcpOpenings();
    std::optional<QList<Socket>> listeners = SocketDiagnostics::tcpSockets(stateBit(SocketDiagnostics::listenState));
    if (!listeners)
        return std::nullopt;
    QSet<quint16> serverPorts;
    for (const Socket& listener : std::as_const(*listeners)) {
        if (isServerAddress(listener.socket.endpoint))
            serverPorts.insert(listener.localPort);
    }

    const std::lock_guard lock(m_connectionsLock);
    std::optional<KeptConnections>& kept = m_keptConnections;
    *keptConnections = openings && kept && kept->openings == *openings && kept->serverPorts == serverPorts &&
                       !kept->unsettled && SocketDiagnostics::stillEstablished(kept->connections);
    QList<Socket> connections;
    if (*keptConnections) {
        connections = kept->connections;
    } else {
        kept.reset();
        const std::optional<QList<Socket>> listed = SocketDiagnostics::tcpSockets(
            stateBit(SocketDiagnostics::establishedState) | stateBit(SocketDiagnostics::synSentState) |
            stateBit(SocketDiagnostics::synReceivedState));
        if (!listed)
            return std::nullopt;
        bool unsettled = false;
        for (const Socket& connection : *listed) {
            if (!serverPorts.contains(connection.localPort) && !serverPorts.contains(connection.remotePort))
                continue;
            if (connection.state != SocketDiagnostics::establishedState || connection.socket.inode == 0)
                unsettled = true;
            else
                connections.append(connection);
        }
        if (openings && connections.size() <= SocketDiagnostics::maxLookups)
            kept = KeptConnections{*openings, serverPorts, connections, unsettled};
    }
    QList<TcpSocket> sockets;
    sockets.reserve(listeners->size() + connections.size());
    for (const QList<Socket>* list : {&*listeners, &connections}) {
        for (const Socket& socket : *list) {
            if (socket.socket.inode != 0)
                sockets.append(socket.socket);
        }
    }
    return sockets;
}

ServerSocketScan::Listing ServerSocketScan::listSockets()
{
    Listing listing;
    std::optional<QList<TcpSocket>> sockets;
    bool keptConnections = false;
    if (m_options.netlink)
        sockets = kernelSockets(&keptConnections);
    listing.fromNetlink = sockets.has_value();
    listing.keptConnections = keptConnections;
    if (!sockets) {
        sockets = ProcFileSystem::tcpSockets();
        sockets->removeIf([](const TcpSocket& socket) {
            return socket.state != listenStateName && socket.state != establishedStateName;
        });
    }

    // The established connections are kept only on the ports of possible servers.
    QSet<qint64> serverPorts;
    for (const TcpSocket& socket : std::as_const(*sockets)) {
        if (socket.state != listenStateName)
            continue;
        listing.sockets.insert(socket.inode, socket);
        if (isServerAddress(socket.endpoint)) {
            listing.serverListeners.insert(socket.inode);
            if (const std::optional<qint64> port = portOf(socket.endpoint))
                serverPorts.insert(*port);
        }
    }
    for (TcpSocket& socket : *sockets) {
        if (socket.state == listenStateName)
            continue;
        const std::optional<qint64> local = portOf(localSide(socket.endpoint));
        const std::optional<qint64> remote = portOf(remoteSide(socket.endpoint));
        if ((local && serverPorts.contains(*local)) || (remote && serverPorts.contains(*remote)))
            listing.sockets.insert(socket.inode, std::move(socket));
    }
    listing.inodes = listing.sockets.keys();
    std::sort(listing.inodes.begin(), listing.inodes.end());
    return listing;
}

QList<SocketDescriptor> ServerSocketScan::holdersOf(const Listing& listing)
{
    const std::lock_guard lock(m_walk);
    m_report.fromNetlink = listing.fromNetlink;
    m_report.keptConnections = listing.keptConnections;
    const bool unchanged = m_walked && m_walkedInodes == listing.inodes && ProcFileSystem::holdSockets(m_holders);
    m_report.walkedDescriptors = !unchanged;
    if (unchanged)
        return m_holders;
    m_holders = ProcFileSystem::socketDescriptors([&](quint64 inode) { return listing.sockets.contains(inode); });
    m_walkedInodes = listing.inodes;
    m_walked = true;
    return m_holders;
}

QList<ConnectionRow> ServerSocketScan::connections()
{
    return connections(std::make_shared<Batch>());
}

QList<ProcessRow> ServerSocketScan::processes()
{
    return processes(std::make_shared<Batch>());
}

QList<ConnectionRow> ServerSocketScan::connections(const std::shared_ptr<Batch>& batch)
{
    const std::shared_ptr<const Snapshot> snapshot = snapshotOf(*batch);
    return ProcFileSystem::connectionRows(snapshot->holders, snapshot->listing.sockets,
                                          [&](qint32 pid) { return snapshot->commands.value(pid); });
}

QList<ProcessRow> ServerSocketScan::processes(const std::shared_ptr<Batch>& batch)
{
    return snapshotOf(*batch)->processes;
}

void ServerSocketScan::readProcesses(Snapshot& snapshot)
{
    const std::lock_guard guard(m_processFilesLock);
    std::map<qint32, ProcessRow> rows;
    // Reads a process once; its parent's id, or none when it could not be read.
    const auto read = [&](qint32 pid) -> std::optional<qint32> {
        if (!snapshot.commands.contains(pid)) {
            std::optional<QString> command;
            if (std::optional<ProcessRow> row = m_processFiles.process(pid, &command))
                rows.emplace(pid, std::move(*row));
            snapshot.commands.insert(pid, std::move(command));
        }
        const auto found = rows.find(pid);
        return found == rows.end() ? std::nullopt : std::optional(found->second.parentPid);
    };
    for (const SocketDescriptor& holder : std::as_const(snapshot.holders)) {
        std::optional<qint32> parent = read(holder.pid);
        if (!snapshot.listing.serverListeners.contains(holder.inode))
            continue;
        // The folder the detection looks up next for a possible server, read with its row.
        if (const auto row = rows.find(holder.pid); row != rows.end() && !row->second.workingDirectory) {
            const std::optional<QString> folder = ProcFileSystem::workingDirectory(holder.pid);
            row->second.workingDirectory = folder && isExistingFolder(*folder) ? *folder : QString();
        }
        // The chain the detection looks at for a development tool, a launcher and the processes it manages.
        for (int depth = 0; parent && depth < maxAncestors; ++depth)
            parent = read(*parent);
    }
    m_processFiles.closeUnread();
    snapshot.processes.reserve(qsizetype(rows.size()));
    for (auto& [pid, row] : rows)
        snapshot.processes.append(std::move(row));
}
