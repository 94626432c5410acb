#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/launchcommand.h"
#include "discovery/listenersnapshotservice.h"
#include "discovery/localserverdetector.h"
#include "discovery/processsnapshotservice.h"
#include "platform/listings/processidentity.h"
#include "support/awaittask.h"
#include "support/childguard.h"
#include "support/discoveryprinting.h"
#include "support/manualclock.h"
#include "support/nodeserver.h"
#include "support/testhome.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(SnapshotSource)

namespace {

// One listening server a test process reported: "devproject pid=<pid> ppid=<ppid> port=<port>".
struct ReportedServer
{
    qint32 pid = 0;
    qint32 parentPid = 0;
    quint16 port = 0;
};

// A program the test starts that runs one or more servers and reports each on its standard output. Every process
// it reported, their parents and the program itself are killed by pid when it stops.
class ReportingProcess
{
public:
    ReportingProcess() { m_process.setStandardInputFile(QProcess::nullDevice()); }
    ~ReportingProcess() { stop(); }

    bool start(const QString& program, const QStringList& arguments, const QString& workingDirectory,
               const QProcessEnvironment& environment, int serverCount)
    {
        m_process.setWorkingDirectory(workingDirectory);
        m_process.setProcessEnvironment(environment);
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(30000)) {
            m_error = m_process.errorString();
            return false;
        }
        m_pid = qint32(m_process.processId());
        ChildGuard::track(m_pid);
        static const QRegularExpression report(u"devproject pid=(\\d+) ppid=(\\d+) port=(\\d+)"_s);
        const QDeadlineTimer deadline(60s);
        QString output;
        while (m_servers.size() < serverCount) {
            if (!m_process.canReadLine()) {
                if (m_process.state() == QProcess::NotRunning || deadline.hasExpired()) {
                    m_error = u"no report from "_s + program + u": "_s + output +
                              QString::fromUtf8(m_process.readAllStandardError());
                    return false;
                }
                m_process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
                continue;
            }
            const QString line = QString::fromUtf8(m_process.readLine());
            output += line;
            const QRegularExpressionMatch match = report.match(line);
            if (!match.hasMatch())
                continue;
            const ReportedServer server{match.captured(1).toInt(), match.captured(2).toInt(),
                                        quint16(match.captured(3).toUInt())};
            ChildGuard::track(server.pid);
            if (server.parentPid != m_pid && server.parentPid != qint32(QCoreApplication::applicationPid()))
                ChildGuard::track(server.parentPid);
            m_servers.append(server);
        }
        return true;
    }

    void stop()
    {
        if (m_pid <= 0)
            return;
        const qint32 self = qint32(QCoreApplication::applicationPid());
        for (const ReportedServer& server : std::as_const(m_servers)) {
            ::kill(pid_t(server.pid), SIGKILL);
            if (server.parentPid > 1 && server.parentPid != self)
                ::kill(pid_t(server.parentPid), SIGKILL);
        }
        ::kill(pid_t(m_pid), SIGKILL);
        m_process.waitForFinished(30000);
        m_pid = 0;
    }

    qint32 pid() const { return m_pid; }
    const QList<ReportedServer>& servers() const { return m_servers; }
    QString errorText() const { return m_error; }

private:
    QProcess m_process;
    qint32 m_pid = 0;
    QList<ReportedServer> m_servers;
    QString m_error;
};

// The real probe for the test's own servers, with room for a loaded machine; nothing for the servers that other
// tests run at the same time, which may be paused or slow on purpose.
class OwnServersProbe : public ServerProbeService
{
public:
    OwnServersProbe()
        : ServerProbeService(20s, standardByteLimit)
    {}

    QSet<int> ports;

    QCoro::Task<ProbeResult> probe(const QUrl& url) const override
    {
        if (ports.contains(url.port()))
            return ServerProbeService::probe(url);
        return nothing();
    }

private:
    static QCoro::Task<ProbeResult> nothing() { co_return ProbeResult{}; }
};

QList<LocalServer> serversOf(const QList<LocalServer>& servers, const QSet<qint32>& pids)
{
    QList<LocalServer> mine;
    std::copy_if(servers.cbegin(), servers.cend(), std::back_inserter(mine),
                 [&](const LocalServer& server) { return pids.contains(server.pid); });
    return mine;
}

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

bool copyFile(const QString& from, const QString& to)
{
    return QDir().mkpath(QFileInfo(to).absolutePath()) && QFile::copy(from, to);
}

} // namespace

// Whole scans of this machine, with real servers in temporary project folders. Other tests run servers of their
// own meanwhile, so every check looks at this test's servers only.
class TestDetectionScan : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void npmDevProject_data();
    void npmDevProject();
    void nextServerByTitle();
    void viteCommandLine();
    void exactArgumentsOfTheLaunchProcess_data();
    void exactArgumentsOfTheLaunchProcess();
    void listenersThatAreNoDevelopmentServers();
    void oneProjectOnTwoPortsIsOneServer();
    void clientConnectionsCounted();

private:
    QString makeFolder();
    // A copy of the development project fixture in a fresh folder.
    QString makeProject();
    ReportingProcess* startNpmDev(const QString& project, int serverCount);
    ReportingProcess* start(const QString& program, const QStringList& arguments, const QString& folder,
                            int serverCount = 1);
    NodeServer* startNode(NodeServer::Options options);
    // A whole scan through the platform's own listings, or through the given ones.
    QList<LocalServer> scan(const QList<int>& ports, std::optional<SnapshotSource> source = std::nullopt);

    QString m_npm;
    CommandRunner m_runner;
    ListenerSnapshotService m_listenerService{&m_runner};
    ProcessSnapshotService m_processService{&m_runner};
    ConnectionSnapshotService m_connectionService{&m_runner};
    OwnServersProbe m_probe;
    ManualClock m_clock;
    std::vector<std::unique_ptr<QTemporaryDir>> m_folders;
    std::vector<std::unique_ptr<ReportingProcess>> m_processes;
    std::vector<std::unique_ptr<NodeServer>> m_nodeServers;
};

void TestDetectionScan::initTestCase()
{
    ChildGuard::installTerminateHandler();
    QVERIFY2(!NodeServer::nodePath().isEmpty(), "node is needed");
    m_npm = QStandardPaths::findExecutable(u"npm"_s);
    QVERIFY2(!m_npm.isEmpty(), "npm is needed");
    // npm stays quiet in every process the test starts; set here, the variables are the test's own and no
    // process is given them.
    qputenv("npm_config_update_notifier", "false");
    qputenv("npm_config_fund", "false");
    qputenv("npm_config_audit", "false");
}

void TestDetectionScan::cleanup()
{
    // Killed before anything reaps them, so no id can have passed to another process yet.
    ChildGuard::killAll();
    m_processes.clear();
    m_nodeServers.clear();
    m_folders.clear();
    m_probe.ports.clear();
}

QString TestDetectionScan::makeFolder()
{
    auto folder = std::make_unique<QTemporaryDir>();
    if (!folder->isValid())
        qFatal("cannot create a temporary folder");
    const QString path = canonical(folder->path());
    m_folders.push_back(std::move(folder));
    return path;
}

QString TestDetectionScan::makeProject()
{
    const QString path = makeFolder();
    for (const QString& file : {u"package.json"_s, u"server.js"_s}) {
        if (!copyFile(TestHome::dataFile(u"devproject/"_s + file), path + u'/' + file))
            qFatal("cannot copy the project fixture");
    }
    return path;
}

ReportingProcess* TestDetectionScan::start(const QString& program, const QStringList& arguments, const QString& folder,
                                           int serverCount)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (serverCount > 1)
        environment.insert(u"DEVPROJECT_PORTS"_s, QString::number(serverCount));
    auto process = std::make_unique<ReportingProcess>();
    if (!process->start(program, arguments, folder, environment, serverCount)) {
        qWarning("%s", qPrintable(process->errorText()));
        return nullptr;
    }
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

ReportingProcess* TestDetectionScan::startNpmDev(const QString& project, int serverCount)
{
    return start(m_npm, {u"run"_s, u"dev"_s}, project, serverCount);
}

NodeServer* TestDetectionScan::startNode(NodeServer::Options options)
{
    auto server = std::make_unique<NodeServer>(std::move(options));
    if (!server->start(60s)) {
        qWarning("%s", qPrintable(server->errorText()));
        return nullptr;
    }
    ChildGuard::track(qint32(server->pid()));
    m_nodeServers.push_back(std::move(server));
    return m_nodeServers.back().get();
}

QList<LocalServer> TestDetectionScan::scan(const QList<int>& ports, std::optional<SnapshotSource> source)
{
    m_probe.ports = QSet<int>(ports.cbegin(), ports.cend());
    if (!source) {
        LocalServerDetector detector(&m_listenerService, &m_processService, &m_connectionService, &m_probe, &m_clock);
        return awaitTask(detector.detectServers(), 120s);
    }
    ListenerSnapshotService listeners(&m_runner, *source);
    ProcessSnapshotService processes(&m_runner, *source);
    ConnectionSnapshotService connections(&m_runner, *source);
    LocalServerDetector detector(&listeners, &processes, &connections, &m_probe, &m_clock);
    return awaitTask(detector.detectServers(), 120s);
}

void TestDetectionScan::npmDevProject_data()
{
    QTest::addColumn<SnapshotSource>("source");
    QTest::newRow("/proc") << SnapshotSource::ProcFileSystem;
    QTest::newRow("ps and lsof") << SnapshotSource::SystemTools;
}

void TestDetectionScan::npmDevProject()
{
    QFETCH(SnapshotSource, source);
    if (source == SnapshotSource::ProcFileSystem && !QFileInfo(u"/proc/self/stat"_s).exists())
        QSKIP("no /proc file system");
    const QString project = makeProject();
    ReportingProcess* npm = startNpmDev(project, 1);
    QVERIFY(npm);
    const ReportedServer node = npm->servers().first();

    const QList<LocalServer> found = serversOf(scan({node.port}, source), {node.pid, npm->pid(), node.parentPid});
    QCOMPARE(found.size(), 1);
    const LocalServer& server = found.first();

    // npm runs the script through a shell, unless the shell replaced itself with node.
    QList<qint32> chain{npm->pid()};
    if (node.parentPid != npm->pid())
        chain.append(node.parentPid);
    chain.append(node.pid);

    QCOMPARE(server.pid, node.pid);
    QCOMPARE(server.port, qint64(node.port));
    QCOMPARE(server.url, QUrl(u"http://127.0.0.1:"_s + QString::number(node.port)));
    QCOMPARE(server.runtimeKind, RuntimeKind::Node);
    QCOMPARE(server.projectPath, project);
    QCOMPARE(server.processWorkingDirectory, project);
    QCOMPARE(server.rawCommandLine, u"npm run dev"_s);
    QCOMPARE(server.displayCommandLine, u"npm run dev"_s);
    QCOMPARE(server.managedProcessIDs, chain);
    QCOMPARE(server.httpStatus, 200);
    QCOMPARE(server.pageTitle, u"Dev project"_s);
    QVERIFY(!server.isPaused);
    QCOMPARE(QFileInfo(server.processExecutable).fileName(), QFileInfo(NodeServer::nodePath()).fileName());
    QVERIFY2(server.parentProcessSummary &&
                 server.parentProcessSummary->endsWith(u" pid "_s + QString::number(node.parentPid)),
             qPrintable(optionalText(server.parentProcessSummary)));
    QCOMPARE(server.lastSeenAt, m_clock.now());
    QCOMPARE(server.displayTitle(), QFileInfo(project).fileName());
    // Who each managed process is, so that a later action never reaches another process under the same id.
    for (const qint32 pid : std::as_const(chain))
        QCOMPARE(server.processStartTimes.value(pid), ProcessIdentity::startTime(pid).value_or(0));
    QCOMPARE(server.processStartTimes.size(), chain.size());
}

void TestDetectionScan::nextServerByTitle()
{
    NodeServer::Options options;
    options.title = u"next-server (v15.0.0)"_s;
    options.workingDirectory = makeFolder();
    NodeServer* next = startNode(options);
    QVERIFY(next);

    const QList<LocalServer> found = serversOf(scan({next->port()}), {qint32(next->pid())});
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().runtimeKind, RuntimeKind::Next);
    QCOMPARE(found.first().displayCommandLine, u"next-server (v15.0.0)"_s);
    QCOMPARE(found.first().projectPath, options.workingDirectory);
    QCOMPARE(found.first().httpStatus, 200);
    QCOMPARE(found.first().pageTitle, u"Node test server"_s);
}

void TestDetectionScan::viteCommandLine()
{
    const QString project = makeFolder();
    const QString vite = project + u"/node_modules/.bin/vite"_s;
    QVERIFY(copyFile(TestHome::dataFile(u"devproject/server.js"_s), vite));
    ReportingProcess* server = start(NodeServer::nodePath(), {vite}, project);
    QVERIFY(server);

    const QList<LocalServer> found = serversOf(scan({server->servers().first().port}), {server->pid()});
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().runtimeKind, RuntimeKind::Vite);
    QCOMPARE(found.first().projectPath, project);
    QCOMPARE(found.first().rawCommandLine, NodeServer::nodePath() + u' ' + vite);
    QCOMPARE(found.first().managedProcessIDs, QList<qint32>{server->pid()});
    QCOMPARE(found.first().httpStatus, 200);
}

void TestDetectionScan::exactArgumentsOfTheLaunchProcess_data()
{
    QTest::addColumn<SnapshotSource>("source");
    QTest::newRow("/proc") << SnapshotSource::ProcFileSystem;
    QTest::newRow("ps and lsof") << SnapshotSource::SystemTools;
}

void TestDetectionScan::exactArgumentsOfTheLaunchProcess()
{
    QFETCH(SnapshotSource, source);
    const QString project = makeProject();
    const QString marker = makeFolder() + u"/marker"_s;
    const QStringList arguments{project + u"/server.js"_s, u"$(touch "_s + marker + u')', u"--name=My App"_s};
    ReportingProcess* node = start(NodeServer::nodePath(), arguments, project);
    QVERIFY(node);

    const QList<LocalServer> found = serversOf(scan({node->servers().first().port}, source), {node->pid()});
    QCOMPARE(found.size(), 1);
    const QStringList argv = QStringList{NodeServer::nodePath()} + arguments;
    // Replayed, the command gives back these very arguments; the window shows that command, where each argument
    // begins and ends.
    QCOMPARE(found.first().rawCommandLine, shellCommandLine(argv));
    QCOMPARE(found.first().displayCommandLine, shellCommandLine(argv));
}

void TestDetectionScan::listenersThatAreNoDevelopmentServers()
{
    NodeServer::Options elsewhere;
    elsewhere.host = u"127.0.0.2"_s;
    elsewhere.workingDirectory = makeFolder();
    NodeServer* outside = startNode(elsewhere);
    QVERIFY(outside);
    // The test itself is a listener with no development tool in its chain.
    QTcpServer own;
    QVERIFY(own.listen(QHostAddress::LocalHost, 0));
    const qint32 self = qint32(QCoreApplication::applicationPid());

    QList<ListenerRow> expected{{qint32(outside->pid()), u"127.0.0.2"_s, outside->port()},
                                {self, u"127.0.0.1"_s, own.serverPort()}};
    QString python = u"/usr/bin/python3"_s;
    if (!QFileInfo(python).isExecutable())
        python = QStandardPaths::findExecutable(u"python3"_s);
    if (!python.isEmpty()) {
        // One line, with no development word in it.
        const QString script = u"import http.server, os; s = http.server.HTTPServer(('127.0.0.1', 0), "_s
                               u"http.server.SimpleHTTPRequestHandler); "_s
                               u"print(f'devproject pid={os.getpid()} ppid={os.getppid()} port={s.server_port}', "_s
                               u"flush=True); s.serve_forever()"_s;
        ReportingProcess* plain = start(python, {u"-c"_s, script}, makeFolder());
        QVERIFY(plain);
        const ReportedServer httpServer = plain->servers().first();
        expected.append({httpServer.pid, u"127.0.0.1"_s, httpServer.port});
    }

    // They all listen where the listing sees them, so leaving them out is the detector's doing.
    const QList<ListenerRow> listening = listenerRows(awaitTask(m_connectionService.connections()));
    QSet<qint32> listed;
    for (const ProcessRow& row : awaitTask(m_processService.processes()))
        listed.insert(row.pid);
    QList<int> ports;
    QSet<qint32> pids;
    for (const ListenerRow& listener : std::as_const(expected)) {
        QVERIFY2(listening.contains(listener), qPrintable(QString::number(listener.port)));
        QVERIFY(listed.contains(listener.pid));
        ports.append(int(listener.port));
        pids.insert(listener.pid);
    }

    QCOMPARE(describeServers(serversOf(scan(ports), pids)), QStringList{});
}

void TestDetectionScan::oneProjectOnTwoPortsIsOneServer()
{
    const QString project = makeProject();
    ReportingProcess* npm = startNpmDev(project, 2);
    QVERIFY(npm);
    // The first server started the second.
    ReportedServer first = npm->servers().at(0);
    ReportedServer second = npm->servers().at(1);
    if (first.parentPid == second.pid)
        std::swap(first, second);
    QCOMPARE(second.parentPid, first.pid);

    const QList<LocalServer> found = serversOf(scan({first.port, second.port}), {first.pid, second.pid});
    QCOMPARE(found.size(), 1);
    const LocalServer& server = found.first();
    QCOMPARE(server.port, qint64(std::min(first.port, second.port)));
    QCOMPARE(server.rawCommandLine, u"npm run dev"_s);
    QCOMPARE(server.projectPath, project);
    QList<qint32> chain{npm->pid()};
    if (first.parentPid != npm->pid())
        chain.append(first.parentPid);
    chain.append({first.pid, second.pid});
    QCOMPARE(server.managedProcessIDs, chain);
}

void TestDetectionScan::clientConnectionsCounted()
{
    NodeServer::Options options;
    options.workingDirectory = makeFolder();
    NodeServer* server = startNode(options);
    QVERIFY(server);

    NodeServer::Options clientOptions;
    clientOptions.script = NodeServer::clientScript(server->host(), server->port());
    NodeServer* client = startNode(clientOptions);
    QVERIFY(client);
    QTcpSocket first;
    QTcpSocket second;
    for (QTcpSocket* socket : {&first, &second}) {
        socket->connectToHost(server->host(), server->port());
        QVERIFY(socket->waitForConnected(30000));
    }

    // Clients are named as the socket listing names their processes.
    const qint32 self = qint32(QCoreApplication::applicationPid());
    QStringList expectedClients;
    for (const ConnectionRow& row : awaitTask(m_connectionService.connections())) {
        if ((row.pid == self || row.pid == qint32(client->pid())) &&
            !expectedClients.contains(row.command + u" pid "_s + QString::number(row.pid)))
            expectedClients.append(row.command + u" pid "_s + QString::number(row.pid));
    }
    QCOMPARE(expectedClients.size(), 2);
    std::sort(expectedClients.begin(), expectedClients.end());

    // The server takes its accepted connections over in its own time, and another test's scan may probe it for
    // a moment: wait for a scan that shows just these three.
    QString last;
    const auto showsTheClients = [&] {
        const QList<LocalServer> found = serversOf(scan({server->port()}), {qint32(server->pid())});
        if (found.size() != 1) {
            last = describeServers(found).join(u'\n');
            return false;
        }
        QStringList clients = found.first().activeConnectionClients;
        std::sort(clients.begin(), clients.end());
        last = describeServer(found.first());
        return found.first().activeConnectionCount == 3 && clients == expectedClients;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(showsTheClients(), qPrintable(last), 60000);
}

PORTHIVE_TEST_MAIN(TestDetectionScan)
#include "tst_detectionscan.moc"
