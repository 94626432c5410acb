#include "platform/listings/serversocketscan.h"

#include "platform/listings/socketdiagnostics.h"
#include "platform/platformlog.h"

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
using SocketDiagnostics::Socket;
using SocketDiagnostics::stateBit;

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

ServerSocketScan::ServerSocketScan(Options options, ServerTest possibleServer)
    : m_options(std::move(options))
    , m_possibleServer(std::move(possibleServer))
{
    m_listingThread.setMaxThreadCount(1);
}

ServerSocketScan::Report ServerSocketScan::lastReport() const
{
    const std::lock_guard lock(m_reportLock);
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

// The rows of the processes one listing reads, each read once, with their command names.
class ServerSocketScan::ProcessReading
{
public:
    ProcessReading(ProcFileSystem::KeptProcessFiles& files, QHash<qint32, std::optional<QString>>& commands)
        : m_files(files)
        , m_commands(commands)
    {}

    // Null for a process that could not be read.
    ProcessRow* read(qint32 pid)
    {
        if (!m_commands.contains(pid)) {
            std::optional<QString> command;
            if (std::optional<ProcessRow> row = m_files.process(pid, &command))
                m_rows.emplace(pid, std::move(*row));
            m_commands.insert(pid, std::move(command));
        }
        const auto found = m_rows.find(pid);
        return found == m_rows.end() ? nullptr : &found->second;
    }

    // For the holder of a loopback or wildcard listener: its working folder, which the detection looks up next for
    // a possible server, read with its row; and its nearest ancestors, the chain the detection looks at for a
    // development tool, a launcher and the processes it manages.
    QList<ProcessRow> readAsServer(ProcessRow& row)
    {
        if (!row.workingDirectory) {
            const std::optional<QString> folder = ProcFileSystem::workingDirectory(row.pid);
            row.workingDirectory = folder && isExistingFolder(*folder) ? *folder : QString();
        }
        QList<ProcessRow> ancestors;
        for (qint32 next = row.parentPid; ancestors.size() < maxAncestors;) {
            const ProcessRow* parent = read(next);
            if (!parent)
                break;
            ancestors.append(*parent);
            next = parent->parentPid;
        }
        return ancestors;
    }

    // Ascending by id.
    QList<ProcessRow> rows()
    {
        QList<ProcessRow> rows;
        rows.reserve(qsizetype(m_rows.size()));
        for (auto& [pid, row] : m_rows)
            rows.append(std::move(row));
        m_rows.clear();
        return rows;
    }

private:
    ProcFileSystem::KeptProcessFiles& m_files;
    QHash<qint32, std::optional<QString>>& m_commands;
    std::map<qint32, ProcessRow> m_rows;
};

ServerSocketScan::Snapshot ServerSocketScan::takeSnapshot()
{
    const std::lock_guard lock(m_listing);
    Snapshot snapshot;
    Listing& listing = snapshot.listing;

    // The listening sockets. Where netlink is refused, the whole table, whose connections are taken below.
    std::optional<ProcFileSystem::TcpOpenings> openings;
    std::optional<QList<Socket>> listed;
    if (m_options.netlink) {
        // Before every dump: a connection made meanwhile changes them.
        openings = ProcFileSystem::tcpOpenings();
        listed = SocketDiagnostics::tcpSockets(stateBit(SocketDiagnostics::listenState));
    }
    std::optional<QList<TcpSocket>> table;
    if (!listed) {
        if (m_options.netlink)
            qCDebug(lcListings) << "sock_diag listed no listeners: reading /proc/net/tcp instead";
        table = ProcFileSystem::tcpSockets();
    }
    QList<quint64> listenerInodes;
    const auto addListener = [&](const TcpSocket& socket) {
        if (socket.inode == 0 || listing.sockets.contains(socket.inode))
            return;
        if (isServerAddress(socket.endpoint))
            listing.serverListeners.insert(socket.inode);
        listing.sockets.insert(socket.inode, socket);
        listenerInodes.append(socket.inode);
    };
    if (listed) {
        for (const Socket& listener : std::as_const(*listed))
            addListener(listener.socket);
    } else {
        for (const TcpSocket& socket : std::as_const(*table)) {
            if (socket.state == listenStateName)
                addListener(socket);
        }
    }
    std::sort(listenerInodes.begin(), listenerInodes.end());
    bool walkedListeners = false;
    QList<SocketDescriptor> holders = holdersOf(m_listenerWalk, listenerInodes, &walkedListeners);

    // The ports of the listeners whose holders can be servers: the only ones whose connections the scan uses.
    ProcessReading reading(m_processFiles, snapshot.commands);
    QHash<qint32, bool> possibleServers;
    QSet<quint16> serverPorts;
    for (const SocketDescriptor& holder : std::as_const(holders)) {
        ProcessRow* row = reading.read(holder.pid);
        if (!row || !listing.serverListeners.contains(holder.inode))
            continue;
        auto possible = possibleServers.constFind(holder.pid);
        if (possible == possibleServers.cend()) {
            const QList<ProcessRow> ancestors = reading.readAsServer(*row);
            possible = possibleServers.insert(holder.pid, !m_possibleServer || m_possibleServer(*row, ancestors));
        }
        const std::optional<qint64> port = portOf(listing.sockets.value(holder.inode).endpoint);
        if (*possible && port)
            serverPorts.insert(quint16(*port));
    }

    QList<TcpSocket> connections;
    if (!table) {
        std::optional<QList<TcpSocket>> fromKernel = kernelConnections(serverPorts, openings, &listing.keptConnections);
        if (fromKernel) {
            connections = std::move(*fromKernel);
        } else {
            qCDebug(lcListings) << "sock_diag listed no connections: reading /proc/net/tcp instead";
            table = ProcFileSystem::tcpSockets();
        }
    }
    if (table) {
        for (TcpSocket& socket : *table) {
            if (socket.state != establishedStateName)
                continue;
            const std::optional<qint64> local = portOf(localSide(socket.endpoint));
            const std::optional<qint64> remote = portOf(remoteSide(socket.endpoint));
            if ((local && serverPorts.contains(quint16(*local))) || (remote && serverPorts.contains(quint16(*remote))))
                connections.append(std::move(socket));
        }
    }
    listing.fromNetlink = !table;
    QList<quint64> connectionInodes;
    for (TcpSocket& socket : connections) {
        if (socket.inode == 0 || listing.sockets.contains(socket.inode))
            continue;
        connectionInodes.append(socket.inode);
        listing.sockets.insert(socket.inode, std::move(socket));
    }
    std::sort(connectionInodes.begin(), connectionInodes.end());
    if (m_options.afterSocketListing)
        m_options.afterSocketListing();

    // The connections' holders, read for their command names.
    bool walkedConnections = false;
    const QList<SocketDescriptor> connectionHolders = holdersOf(m_connectionWalk, connectionInodes, &walkedConnections);
    for (const SocketDescriptor& holder : connectionHolders)
        reading.read(holder.pid);
    m_processFiles.closeUnread();
    holders.append(connectionHolders);
    std::sort(holders.begin(), holders.end(), [](const SocketDescriptor& a, const SocketDescriptor& b) {
        return std::pair(a.pid, a.fd) < std::pair(b.pid, b.fd);
    });
    snapshot.holders = std::move(holders);
    snapshot.processes = reading.rows();

    const std::lock_guard reported(m_reportLock);
    m_report = {listing.fromNetlink, listing.keptConnections, walkedListeners || walkedConnections};
    return snapshot;
}

std::optional<QList<TcpSocket>>
ServerSocketScan::kernelConnections(const QSet<quint16>& ports,
                                    const std::optional<ProcFileSystem::TcpOpenings>& openings, bool* kept)
{
    std::optional<KeptConnections>& last = m_keptConnections;
    *kept = openings && last && last->openings == *openings && last->serverPorts == ports && !last->unsettled &&
            SocketDiagnostics::stillEstablished(last->connections);
    QList<Socket> connections;
    if (*kept) {
        connections = last->connections;
    } else {
        last.reset();
        const std::optional<QList<Socket>> listed = SocketDiagnostics::tcpSockets(
            stateBit(SocketDiagnostics::establishedState) | stateBit(SocketDiagnostics::synSentState) |
                stateBit(SocketDiagnostics::synReceivedState),
            ports);
        if (!listed)
            return std::nullopt;
        bool unsettled = false;
        for (const Socket& connection : *listed) {
            if (connection.state != SocketDiagnostics::establishedState || connection.socket.inode == 0)
                unsettled = true;
            else
                connections.append(connection);
        }
        if (openings && connections.size() <= SocketDiagnostics::maxLookups)
            last = KeptConnections{*openings, ports, connections, unsettled};
    }
    QList<TcpSocket> sockets;
    sockets.reserve(connections.size());
    for (const Socket& connection : std::as_const(connections))
        sockets.append(connection.socket);
    return sockets;
}

QList<SocketDescriptor> ServerSocketScan::holdersOf(KeptWalk& kept, const QList<quint64>& inodes, bool* walked)
{
    *walked = false;
    if (kept.walked && kept.inodes == inodes && ProcFileSystem::holdSockets(kept.holders))
        return kept.holders;
    kept.inodes = inodes;
    kept.walked = true;
    kept.holders.clear();
    if (inodes.isEmpty())
        return {};
    *walked = true;
    kept.holders = ProcFileSystem::socketDescriptors(
        [&](quint64 inode) { return std::binary_search(inodes.cbegin(), inodes.cend(), inode); });
    return kept.holders;
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
