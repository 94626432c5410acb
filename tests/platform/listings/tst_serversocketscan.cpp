#include "discovery/localserverdetector.h"
#include "platform/listings/procfilesystem.h"
#include "platform/listings/serversocketscan.h"
#include "platform/listings/socketdiagnostics.h"
#include "platform/system/filedescriptor.h"
#include "support/discoveryprinting.h"
#include "support/nodeserver.h"
#include "support/ownnetwork.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>

#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

template<typename Row>
QList<Row> rowsOf(const QList<Row>& rows, const QSet<qint32>& pids)
{
    QList<Row> kept;
    for (const Row& row : rows) {
        if (pids.contains(row.pid))
            kept.append(row);
    }
    return kept;
}

QSet<qint32> pidsOf(const QList<ProcessRow>& rows)
{
    QSet<qint32> pids;
    for (const ProcessRow& row : rows)
        pids.insert(row.pid);
    return pids;
}

QString ownCommandName()
{
    QFile comm(u"/proc/self/comm"_s);
    return comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll().trimmed()) : QString();
}

// What the full /proc reader lists for the processes: the connection to 127.0.0.2 is on no server's port and
// left out, its listener is kept.
QList<ConnectionRow> fullReaderRows(const QSet<qint32>& pids)
{
    QList<ConnectionRow> rows = rowsOf(ProcFileSystem::connections(), pids);
    rows.removeIf([&](const ConnectionRow& row) {
        return row.endpoint.contains(u"127.0.0.2:"_s) && row.state == u"ESTABLISHED"_s;
    });
    return rows;
}

// Kills a process and returns once it has exited, its descriptors closed (it may still wait to be reaped).
bool killAndWait(qint64 pid)
{
    const int pidfd = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (pidfd < 0)
        return false;
    ::kill(pid_t(pid), SIGKILL);
    pollfd exited{pidfd, POLLIN, 0};
    const bool done = ::poll(&exited, 1, 30000) == 1;
    ::close(pidfd);
    return done;
}

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A listener on 127.0.0.1 that accepts only when told; its port in *port.
FileDescriptor listenOnLoopback(quint16* port)
{
    FileDescriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (!listener.isValid() || ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), 8) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    *port = ntohs(address.sin_port);
    return listener;
}

// A client connected to 127.0.0.1:port (on loopback the handshake is over when connect returns).
FileDescriptor connectToLoopback(quint16 port)
{
    FileDescriptor client(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopback(port);
    if (!client.isValid() || ::connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};
    return client;
}

// Five listeners, and four connections to servers (eight ends): the IPv4 server's node client and the test's own
// clients of the IPv6, wildcard and IPv4-mapped servers.
constexpr qsizetype machineRows = 13;

std::unique_ptr<NodeServer> startNode(const QString& host, const QString& script = {}, const QString& folder = {})
{
    NodeServer::Options options;
    options.host = host;
    options.script = script;
    options.workingDirectory = folder;
    auto server = std::make_unique<NodeServer>(options);
    if (!server->start()) {
        qWarning("%s", qPrintable(server->errorText()));
        return nullptr;
    }
    return server;
}

// Where the scan reads the sockets: from the kernel's socket diagnostics, or from /proc/net/tcp as where netlink
// is refused.
void addSocketSources()
{
    QTest::addColumn<bool>("netlink");
    QTest::newRow("socket diagnostics") << true;
    QTest::newRow("/proc/net/tcp") << false;
}

} // namespace

// The targeted Linux scan against the full /proc reader, on sockets and processes the test starts itself.
class TestServerSocketScan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void sameRowsAsProcReader_data();
    void sameRowsAsProcReader();
    void unchangedPollSkipsTheWalk();
    void partsAskedTogetherShareOneListing();
    void processExitingMidScan_data();
    void processExitingMidScan();
    void connectionShowsOnceAccepted();
    void lookupsFindOnlyEstablishedSockets();
    void kernelFilterKeepsOnlyThePortsAsked_data();
    void kernelFilterKeepsOnlyThePortsAsked();
    void connectionsOnlyOfPossibleServers_data();
    void connectionsOnlyOfPossibleServers();

private:
    NodeServer* start(const QString& host, const QString& script = {}, const QString& folder = {});
    // The test's own processes and every listener, established client and socket of theirs.
    bool startMachine();

    std::vector<std::unique_ptr<NodeServer>> m_nodes;
    std::vector<std::unique_ptr<QTcpSocket>> m_clients;
    QSet<qint32> m_pids;
    // The holders of loopback and wildcard listeners.
    QSet<qint32> m_servers;
    qint32 m_mapped = 0;
    QTemporaryDir m_folder;
    NodeServer* m_v4 = nullptr;
    NodeServer* m_client = nullptr;
};

void TestServerSocketScan::initTestCase()
{
    if (!QFileInfo::exists(u"/proc/net/tcp"_s) || !QFileInfo::exists(u"/proc/self/fd"_s))
        QSKIP("no /proc file system");
    if (NodeServer::nodePath().isEmpty())
        QSKIP("node is not installed");
    // Where it may, the test and its servers get a network of their own, so that other programs' sockets never
    // change what a poll sees.
    if (!enterOwnNetwork())
        qInfo("no network of its own: polls share the machine's sockets");
}

void TestServerSocketScan::cleanup()
{
    m_clients.clear();
    m_nodes.clear();
    m_pids.clear();
    m_servers.clear();
    m_v4 = nullptr;
    m_client = nullptr;
}

NodeServer* TestServerSocketScan::start(const QString& host, const QString& script, const QString& folder)
{
    std::unique_ptr<NodeServer> node = startNode(host, script, folder);
    if (!node)
        return nullptr;
    m_pids.insert(qint32(node->pid()));
    m_nodes.push_back(std::move(node));
    return m_nodes.back().get();
}

bool TestServerSocketScan::startMachine()
{
    m_pids.insert(qint32(QCoreApplication::applicationPid()));
    m_v4 = start(u"127.0.0.1"_s);
    NodeServer* v6 = start(u"::1"_s);
    NodeServer* wildcard = start(u"::"_s);
    // An IPv6 socket on an IPv4-mapped address, written as IPv4; in a folder of its own.
    NodeServer* mapped = start(u"::ffff:127.0.0.1"_s, {}, m_folder.path());
    // Not a server address: listed, but no connection to it is kept.
    NodeServer* elsewhere = start(u"127.0.0.2"_s);
    if (!m_v4 || !v6 || !wildcard || !mapped || !elsewhere)
        return false;
    for (const NodeServer* server : {m_v4, v6, wildcard, mapped})
        m_servers.insert(qint32(server->pid()));
    m_mapped = qint32(mapped->pid());
    m_client = start(u"127.0.0.1"_s, NodeServer::clientScript(u"127.0.0.1"_s, m_v4->port()));
    if (!m_client)
        return false;
    const auto connect = [&](const QHostAddress& host, quint16 port) {
        auto& socket = m_clients.emplace_back(std::make_unique<QTcpSocket>());
        socket->connectToHost(host, port);
        return socket->waitForConnected(30000);
    };
    // The IPv4 client of the wildcard server gives an IPv4-mapped connection on the server's side.
    return connect(QHostAddress::LocalHostIPv6, v6->port()) && connect(QHostAddress::LocalHost, wildcard->port()) &&
           connect(QHostAddress::LocalHost, mapped->port()) && connect(QHostAddress(u"127.0.0.2"_s), elsewhere->port());
}

void TestServerSocketScan::sameRowsAsProcReader_data()
{
    addSocketSources();
}

void TestServerSocketScan::sameRowsAsProcReader()
{
    QFETCH(bool, netlink);
    QVERIFY(startMachine());
    ServerSocketScan scan({netlink, {}});

    QList<ConnectionRow> scanned;
    QList<ConnectionRow> expected;
    // Every server has accepted its clients once both readers see the same sockets.
    const auto agree = [&] {
        scanned = rowsOf(scan.connections(), m_pids);
        expected = fullReaderRows(m_pids);
        return scanned.size() == machineRows && scanned == expected;
    };
    if (!QTest::qWaitFor(agree, 30000))
        QCOMPARE(scanned, expected);
    QCOMPARE(scan.lastReport().fromNetlink, netlink);

    // Every process holding one of those sockets, and the ancestors of the listening ones, as the full reader
    // lists them.
    const QList<ProcessRow> processes = scan.processes();
    QCOMPARE(pidsOf(processes) & m_pids, m_pids);
    const QSet<qint32> read = pidsOf(processes);
    QList<ProcessRow> all = rowsOf(ProcFileSystem::processes(), read);
    QCOMPARE(pidsOf(all), read);
    // The state of the test process itself changes as it runs; the full reader reads no working folders.
    const auto withoutState = [](QList<ProcessRow> rows) {
        for (ProcessRow& row : rows) {
            row.state.clear();
            row.workingDirectory.reset();
        }
        return rows;
    };
    QCOMPARE(withoutState(processes), withoutState(all));
    // Each holder of a loopback or wildcard listener comes with its own working folder, no other process with one.
    for (const ProcessRow& row : processes) {
        const bool server = m_servers.contains(row.pid);
        QCOMPARE(row.workingDirectory, server ? ProcFileSystem::workingDirectory(row.pid) : std::nullopt);
    }
    QCOMPARE(rowsOf(processes, {m_mapped}).value(0).workingDirectory,
             std::optional(QFileInfo(m_folder.path()).canonicalFilePath()));
    // The ancestors of a listener: its parent (this test) and that one's parent.
    QVERIFY(read.contains(qint32(::getppid())));
    QVERIFY(std::is_sorted(processes.begin(), processes.end(),
                           [](const ProcessRow& a, const ProcessRow& b) { return a.pid < b.pid; }));
}

void TestServerSocketScan::unchangedPollSkipsTheWalk()
{
    QVERIFY(startMachine());
    ServerSocketScan scan;
    QList<ConnectionRow> first;
    QTRY_VERIFY_WITH_TIMEOUT((first = rowsOf(scan.connections(), m_pids)).size() == machineRows, 30000);

    // Nothing changed: the walk is kept, and so are the rows. (Without a network of its own, other programs may
    // change the sockets meanwhile; a poll in a quiet moment keeps the walk.)
    const auto keptWalk = [&] {
        const QList<ConnectionRow> rows = rowsOf(scan.connections(), m_pids);
        return !scan.lastReport().walkedDescriptors && scan.lastReport().keptConnections && rows == first;
    };
    QTRY_VERIFY_WITH_TIMEOUT(keptWalk(), 30000);
    const auto keptWalkForProcesses = [&] {
        const QSet<qint32> pids = pidsOf(scan.processes());
        return !scan.lastReport().walkedDescriptors && (pids & m_pids) == m_pids;
    };
    QTRY_VERIFY_WITH_TIMEOUT(keptWalkForProcesses(), 30000);

    // A new connection to a server changes the sockets: both ends are listed.
    QTcpSocket another;
    another.connectToHost(QHostAddress::LocalHost, m_v4->port());
    QVERIFY(another.waitForConnected(30000));
    scan.connections();
    QVERIFY(!scan.lastReport().keptConnections);
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(scan.connections(), m_pids).size(), machineRows + 2, 30000);
    QCOMPARE(rowsOf(scan.connections(), m_pids), fullReaderRows(m_pids));

    // The same sockets, but a kept holder holds its socket under another descriptor now: walked again.
    QTcpServer own;
    QVERIFY(own.listen(QHostAddress::LocalHost, 0));
    QTRY_VERIFY_WITH_TIMEOUT(!scan.connections().isEmpty() && !scan.lastReport().walkedDescriptors, 30000);
    const int original = int(own.socketDescriptor());
    const int moved = ::dup(original);
    QVERIFY(moved >= 0);
    ::close(original);
    const QList<ConnectionRow> afterMove = scan.connections();
    const bool walked = scan.lastReport().walkedDescriptors;
    ::dup2(moved, original);
    ::close(moved);
    QVERIFY(walked);
    const ConnectionRow listener{qint32(QCoreApplication::applicationPid()), ownCommandName(),
                                 u"127.0.0.1:"_s + QString::number(own.serverPort()), u"LISTEN"_s};
    QVERIFY(afterMove.contains(listener));
}

void TestServerSocketScan::partsAskedTogetherShareOneListing()
{
    QVERIFY(startMachine());
    int listings = 0;
    ServerSocketScan::Options options;
    options.afterSocketListing = [&] {
        ++listings;
    };
    ServerSocketScan scan(options);
    using Part = ServerSocketScan::Part;

    // Asked for in one turn of the event loop: one listing for both parts.
    const auto processes = scan.join(Part::Processes);
    const auto connections = scan.join(Part::Connections);
    QCOMPARE(processes, connections);
    const QList<ConnectionRow> rows = scan.connections(connections);
    const QSet<qint32> read = pidsOf(scan.processes(processes));
    QCOMPARE(listings, 1);
    // Every listener's holder, from the same listing.
    for (const ConnectionRow& row : rows) {
        if (row.state == u"LISTEN"_s)
            QVERIFY(read.contains(row.pid));
    }

    // A part asked for again, even in the same turn, is a scan of its own.
    const auto again = scan.join(Part::Processes);
    QVERIFY(again != processes);
    scan.processes(again);
    QCOMPARE(listings, 2);
    // A part asked for after the event loop has turned never joins an earlier listing.
    const auto earlier = scan.join(Part::Processes);
    QCoreApplication::processEvents();
    QVERIFY(scan.join(Part::Connections) != earlier);
}

void TestServerSocketScan::processExitingMidScan_data()
{
    QTest::addColumn<bool>("warm");
    QTest::newRow("first walk") << false;
    QTest::newRow("kept walk") << true;
}

void TestServerSocketScan::processExitingMidScan()
{
    QFETCH(bool, warm);
    QVERIFY(startMachine());
    ServerSocketScan ready;
    QTRY_VERIFY_WITH_TIMEOUT(rowsOf(ready.connections(), m_pids).size() == machineRows, 30000);

    const qint32 gone = qint32(m_client->pid());
    std::atomic<bool> ending = false;
    bool ended = false;
    ServerSocketScan::Options options;
    // The sockets are listed with the client's connection among them; then the client exits.
    options.afterSocketListing = [&] {
        if (ending.exchange(false))
            ended = killAndWait(gone);
    };
    ServerSocketScan scan(options);
    if (warm)
        QCOMPARE(rowsOf(scan.connections(), m_pids).size(), machineRows);
    const QList<ConnectionRow> before = ProcFileSystem::connections();

    ending = true;
    const QList<ConnectionRow> rows = scan.connections();
    QVERIFY(ended);
    QVERIFY(scan.lastReport().walkedDescriptors);
    QCOMPARE(rowsOf(rows, {gone}), QList<ConnectionRow>{});
    for (const ConnectionRow& row : before) {
        if (row.state == u"LISTEN"_s && m_pids.contains(row.pid))
            QVERIFY2(rows.contains(row), qPrintable(row.endpoint));
    }
    QVERIFY(!pidsOf(scan.processes()).contains(gone));
}

void TestServerSocketScan::connectionShowsOnceAccepted()
{
    m_pids.insert(qint32(QCoreApplication::applicationPid()));
    quint16 port = 0;
    const FileDescriptor listener = listenOnLoopback(&port);
    QVERIFY(listener.isValid());
    const FileDescriptor client = connectToLoopback(port);
    QVERIFY(client.isValid());

    // The server's end waits to be accepted: no process holds it yet, and no count changes when it is accepted.
    ServerSocketScan scan;
    const QString serverEnd = u"127.0.0.1:%1->127.0.0.1:"_s.arg(port);
    const auto serverEndListed = [&](const QList<ConnectionRow>& rows) {
        return std::any_of(rows.begin(), rows.end(),
                           [&](const ConnectionRow& row) { return row.endpoint.startsWith(serverEnd); });
    };
    for (int poll = 0; poll < 2; ++poll)
        QVERIFY(!serverEndListed(scan.connections()));

    const FileDescriptor accepted(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    QVERIFY(accepted.isValid());
    const QList<ConnectionRow> rows = rowsOf(scan.connections(), m_pids);
    QVERIFY(serverEndListed(rows));
    QCOMPARE(rows, fullReaderRows(m_pids));
}

void TestServerSocketScan::lookupsFindOnlyEstablishedSockets()
{
    quint16 port = 0;
    const FileDescriptor listener = listenOnLoopback(&port);
    FileDescriptor client = connectToLoopback(port);
    QVERIFY(client.isValid());
    const FileDescriptor accepted(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    QVERIFY(accepted.isValid());

    using namespace SocketDiagnostics;
    const std::optional<QList<Socket>> sockets = tcpSockets(stateBit(establishedState));
    if (!sockets)
        QSKIP("no socket diagnostics here");
    QList<Socket> ends[2];
    for (const Socket& socket : *sockets) {
        if (socket.localPort == port)
            ends[0].append(socket);
        else if (socket.remotePort == port)
            ends[1].append(socket);
    }
    const QList<Socket>& serverEnd = ends[0];
    const QList<Socket>& clientEnd = ends[1];
    QCOMPARE(serverEnd.size(), 1);
    QCOMPARE(clientEnd.size(), 1);
    QVERIFY(stillEstablished(serverEnd + clientEnd));
    QVERIFY(stillEstablished({}));

    // The client closes its side: the server's end is no longer established (it waits for its own close) though
    // it is the same socket.
    QCOMPARE(::shutdown(client.get(), SHUT_WR), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!stillEstablished(serverEnd), 30000);
    QVERIFY(!stillEstablished(clientEnd));
    // And a socket that has gone is not found at all.
    client.reset();
    QVERIFY(!stillEstablished(clientEnd));
}

void TestServerSocketScan::kernelFilterKeepsOnlyThePortsAsked_data()
{
    QTest::addColumn<int>("unusedPorts");
    QTest::addColumn<bool>("alsoSecond");
    QTest::newRow("one port") << 0 << false;
    QTest::newRow("two ports") << 0 << true;
    // A long program: every jump must still land where it should.
    QTest::newRow("two ports among 300") << 298 << true;
    // More than the kernel's filter takes.
    QTest::newRow("one port among many") << int(SocketDiagnostics::maxFilteredPorts) + 10 << false;
}

void TestServerSocketScan::kernelFilterKeepsOnlyThePortsAsked()
{
    QFETCH(int, unusedPorts);
    QFETCH(bool, alsoSecond);
    using namespace SocketDiagnostics;
    if (!tcpSockets(stateBit(listenState)))
        QSKIP("no socket diagnostics here");
    // Three listeners, each with one connection accepted: both ends established.
    quint16 ports[3] = {};
    std::vector<FileDescriptor> fds;
    for (quint16& port : ports) {
        FileDescriptor listener = listenOnLoopback(&port);
        FileDescriptor client = connectToLoopback(port);
        QVERIFY(client.isValid());
        FileDescriptor accepted(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        QVERIFY(accepted.isValid());
        for (FileDescriptor* fd : {&listener, &client, &accepted})
            fds.push_back(std::move(*fd));
    }
    QSet<quint16> asked{ports[0]};
    if (alsoSecond)
        asked.insert(ports[1]);
    const QSet<quint16> wanted = asked;
    for (quint16 port = 1; asked.size() < wanted.size() + unusedPorts; ++port) {
        if (port != ports[2])
            asked.insert(port);
    }

    const std::optional<QList<Socket>> all = tcpSockets(stateBit(establishedState));
    const std::optional<QList<Socket>> filtered = tcpSockets(stateBit(establishedState), asked);
    QVERIFY(all && filtered);
    const auto endsOn = [](const QList<Socket>& sockets, quint16 port) {
        QSet<quint64> inodes;
        for (const Socket& socket : sockets) {
            if (socket.localPort == port || socket.remotePort == port)
                inodes.insert(socket.socket.inode);
        }
        return inodes;
    };
    // Both ends of each wanted connection, the server's (local port) and the client's (remote port), as the
    // whole dump lists them; nothing of the connection on a port not asked for.
    for (const quint16 port : ports) {
        const QSet<quint64> ends = endsOn(*filtered, port);
        QCOMPARE(ends, wanted.contains(port) ? endsOn(*all, port) : QSet<quint64>());
        QCOMPARE(ends.size(), wanted.contains(port) ? 2 : 0);
    }
    for (const Socket& socket : *filtered)
        QVERIFY(asked.contains(socket.localPort) || asked.contains(socket.remotePort));
    const std::optional<QList<Socket>> none = tcpSockets(stateBit(establishedState), {});
    QVERIFY(none && none->isEmpty());
}

void TestServerSocketScan::connectionsOnlyOfPossibleServers_data()
{
    addSocketSources();
}

void TestServerSocketScan::connectionsOnlyOfPossibleServers()
{
    QFETCH(bool, netlink);
    m_pids.insert(qint32(QCoreApplication::applicationPid()));
    // Two node servers on loopback, each with a node client and a client of the test's own; only the first can
    // be a server until the test says otherwise.
    NodeServer* wanted = start(u"127.0.0.1"_s);
    NodeServer* other = start(u"127.0.0.1"_s);
    QVERIFY(wanted && other);
    NodeServer* wantedClient = start(u"127.0.0.1"_s, NodeServer::clientScript(u"127.0.0.1"_s, wanted->port()));
    NodeServer* otherClient = start(u"127.0.0.1"_s, NodeServer::clientScript(u"127.0.0.1"_s, other->port()));
    QVERIFY(wantedClient && otherClient);
    for (const NodeServer* server : {wanted, other}) {
        auto& socket = m_clients.emplace_back(std::make_unique<QTcpSocket>());
        socket->connectToHost(QHostAddress::LocalHost, server->port());
        QVERIFY(socket->waitForConnected(30000));
    }
    std::atomic<bool> otherToo = false;
    QHash<qint32, QList<qint32>> chainsSeen;
    ServerSocketScan scan({netlink, {}}, [&](const ProcessRow& holder, const QList<ProcessRow>& ancestors) {
        QList<qint32>& chain = chainsSeen[holder.pid];
        chain.clear();
        for (const ProcessRow& row : ancestors)
            chain.append(row.pid);
        return holder.pid == qint32(wanted->pid()) || (otherToo && holder.pid == qint32(other->pid()));
    });

    // Every listener, and the established sockets with a side on a port of a possible server, as the full reader
    // lists them.
    const auto expectedOn = [&](const QSet<qint64>& ports) {
        QList<ConnectionRow> rows = rowsOf(ProcFileSystem::connections(), m_pids);
        rows.removeIf([&](const ConnectionRow& row) {
            const QStringList sides = row.endpoint.split(u"->"_s);
            return row.state != u"LISTEN"_s && std::none_of(sides.cbegin(), sides.cend(), [&](const QString& side) {
                       return ports.contains(endpointPort(side).value_or(-1));
                   });
        });
        return rows;
    };
    QList<ConnectionRow> scanned;
    QList<ConnectionRow> expected;
    const auto agree = [&](const QSet<qint64>& ports, qsizetype established) {
        scanned = rowsOf(scan.connections(), m_pids);
        expected = expectedOn(ports);
        const auto count = std::count_if(scanned.cbegin(), scanned.cend(),
                                         [](const ConnectionRow& row) { return row.state == u"ESTABLISHED"_s; });
        return count == established && scanned == expected;
    };
    // The wanted server's two accepted ends and its two clients' ends.
    if (!QTest::qWaitFor([&] { return agree({wanted->port()}, 4); }, 30000))
        QCOMPARE(scanned, expected);
    QCOMPARE(scan.lastReport().fromNetlink, netlink);
    const auto hasRow = [&](qint64 pid, const QString& end) {
        return std::any_of(scanned.cbegin(), scanned.cend(), [&](const ConnectionRow& row) {
            return row.pid == pid && row.state == u"ESTABLISHED"_s && row.endpoint.contains(end);
        });
    };
    const QString wantedPort = u":"_s + QString::number(wanted->port());
    QVERIFY(hasRow(wanted->pid(), wantedPort + u"->"_s));
    QVERIFY(hasRow(wantedClient->pid(), u"->127.0.0.1"_s + wantedPort));
    QVERIFY(!hasRow(otherClient->pid(), u""_s));
    // The other server's client is read by nobody's need.
    const QList<ProcessRow> processes = scan.processes();
    QVERIFY(pidsOf(processes).contains(qint32(wantedClient->pid())));
    QVERIFY(!pidsOf(processes).contains(qint32(otherClient->pid())));
    // The chain the test was given is the process table's: the nearest ancestors, at most four.
    ProcessIndex index;
    for (const ProcessRow& row : ProcFileSystem::processes())
        index.insert(row.pid, row);
    for (const NodeServer* server : {wanted, other}) {
        const qint32 pid = qint32(server->pid());
        QList<qint32> chain;
        for (const ProcessRow& row : LocalServerDetector::ancestors(index.value(pid), index))
            chain.append(row.pid);
        QCOMPARE(chainsSeen.value(pid), chain);
        QCOMPARE(chain.value(0), qint32(QCoreApplication::applicationPid()));
    }

    // Nothing changed but which servers are possible: the connections kept from the poll before are not those
    // asked for now.
    if (netlink)
        QTRY_VERIFY_WITH_TIMEOUT(agree({wanted->port()}, 4) && scan.lastReport().keptConnections, 30000);
    otherToo = true;
    if (!agree({wanted->port(), other->port()}, 8))
        QCOMPARE(scanned, expected);
    QVERIFY(hasRow(otherClient->pid(), u"->127.0.0.1:"_s + QString::number(other->port())));
}

PORTHIVE_TEST_MAIN(TestServerSocketScan)
#include "tst_serversocketscan.moc"
