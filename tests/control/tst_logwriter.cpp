// The log writer between a real node server and its log, sent what a broad kill sends, and killed outright: the
// server keeps answering, and its log either goes on or says it ended. Porthive's own objects are gone before the
// writer is signalled, as they are when Porthive has quit, since the writer outlives it.
#include "control/cappedlog.h"
#include "control/processactionservice.h"
#include "control/serverlogservice.h"
#include "platform/system/clock.h"
#include "support/childguard.h"
#include "support/nodeserver.h"
#include "support/processfiles.h"
#include "support/storerig.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace ProcessFiles;

namespace {

constexpr int settleTimeout = 30000;
constexpr auto observation = 300ms;

const QString ended = QString::fromLatin1(CappedLog::endedLine);
const QByteArray endedLine = QByteArray(CappedLog::endedLine).append('\n');

// Writes a line every 20 ms, answers every request with its path after logging it, and logs a whole MiB first
// for /burst: more than a pipe holds, so a server whose output nobody takes would stop there.
const QByteArray serverScript = R"(const fs = require('fs');
fs.writeFileSync('pid', String(process.pid));
let ticks = 0;
setInterval(() => console.log('tick ' + (++ticks)), 20);
require('http').createServer((request, response) => {
    if (request.url === '/burst') {
        const line = 'x'.repeat(1023);
        for (let i = 0; i < 1024; i++) console.log(line);
    }
    console.log('request ' + request.url);
    response.end('ok ' + request.url);
}).listen(0, '127.0.0.1', function () {
    console.log('listening');
    fs.writeFileSync('port', String(this.address().port));
});
)";

// The body of GET `path`, or nothing when the server does not answer.
std::optional<QByteArray> get(quint16 port, const QByteArray& path)
{
    QTcpSocket socket;
    socket.connectToHost(u"127.0.0.1"_s, port);
    if (!socket.waitForConnected(2000))
        return std::nullopt;
    socket.write("GET " + path + " HTTP/1.0\r\n\r\n");
    QByteArray response;
    while (socket.waitForReadyRead(5000))
        response += socket.readAll();
    response += socket.readAll();
    const qsizetype body = response.indexOf("\r\n\r\n");
    if (body < 0)
        return std::nullopt;
    return response.sliced(body + 4);
}

struct Writer
{
    // The process Porthive started, which keeps the pipe open beside the copy.
    qint32 keeper = 0;
    // Its child, which copies the server's output into the log.
    qint32 copier = 0;
};

// The log writer's processes whose output is `log`.
Writer writerOf(const QString& log)
{
    const QString program = QFileInfo(QStringLiteral(PORTHIVE_LOG_WRITER)).canonicalFilePath();
    QList<qint32> found;
    const QStringList entries = QDir(u"/proc"_s).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool number = false;
        const qint32 pid = entry.toInt(&number);
        if (!number)
            continue;
        const QString proc = u"/proc/"_s + entry;
        if (QFile::symLinkTarget(proc + u"/exe"_s) == program && QFile::symLinkTarget(proc + u"/fd/1"_s) == log)
            found.append(pid);
    }
    Writer writer;
    for (const qint32 pid : std::as_const(found)) {
        if (found.contains(qint32(statField(pid, 1))))
            writer.copier = pid;
        else
            writer.keeper = pid;
    }
    return writer;
}

} // namespace

class TestLogWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void broadKillLeavesTheLogRunning_data();
    void broadKillLeavesTheLogRunning();
    void killedCopyEndsTheLogAndNotTheServer();
    void killedKeeperLeavesTheCopyRunning();

private:
    // Starts the server through the action service with the real writer, then lets Porthive's objects go.
    void launch();
    // Asks for `path` and waits until the log shows the request.
    void verifyLogged(const QByteArray& path);

    std::unique_ptr<QTemporaryDir> m_scratch;
    QString m_project;
    ServerLogSession m_session;
    QString m_log;
    qint32 m_server = 0;
    quint16 m_port = 0;
    Writer m_writer;
};

void TestLogWriter::initTestCase()
{
    QVERIFY2(!NodeServer::nodePath().isEmpty(), "node is needed");
    ChildGuard::installTerminateHandler();
}

void TestLogWriter::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(m_scratch->isValid());
    m_project = m_scratch->filePath(u"project"_s);
    QVERIFY(QDir().mkpath(m_project));
    QVERIFY(writeFile(m_project + u"/server.js"_s, serverScript));
    launch();
}

void TestLogWriter::cleanup()
{
    for (const qint32 pid : ChildGuard::killAll())
        QTRY_VERIFY_WITH_TIMEOUT(isGone(pid), settleTimeout);
    m_scratch.reset();
}

void TestLogWriter::launch()
{
    {
        auto logs = std::make_shared<ServerLogService>(m_scratch->filePath(u"logs"_s), SystemClock::shared());
        LaunchSetup setup;
        setup.shell = u"/bin/sh"_s;
        setup.logWriter = QStringLiteral(PORTHIVE_LOG_WRITER);
        ProcessActionService service(logs, nullptr, observation, setup);
        const QString command = u"exec '%1' server.js"_s.arg(NodeServer::nodePath());
        m_session = awaitTask(service.startProject(RememberedProject{m_project, command, {}, RuntimeKind::Node, {}}));
    }
    m_log = m_session.fileURL.toLocalFile();
    QTRY_VERIFY_WITH_TIMEOUT((m_server = readFile(m_project + u"/pid"_s).toInt()) > 0, settleTimeout);
    ChildGuard::track(m_server);
    QTRY_VERIFY_WITH_TIMEOUT((m_port = quint16(readFile(m_project + u"/port"_s).toUInt())) > 0, settleTimeout);
    QTRY_VERIFY_WITH_TIMEOUT((m_writer = writerOf(m_log)).copier > 0 && m_writer.keeper > 0, settleTimeout);
    ChildGuard::track(m_writer.copier);
    ChildGuard::track(m_writer.keeper);
    QTRY_VERIFY_WITH_TIMEOUT(readFile(m_log).contains("listening\n"), settleTimeout);
}

void TestLogWriter::verifyLogged(const QByteArray& path)
{
    QCOMPARE(get(m_port, path), std::optional<QByteArray>("ok " + path));
    QTRY_VERIFY_WITH_TIMEOUT(readFile(m_log).contains(QByteArray("request " + path + '\n')), settleTimeout);
}

void TestLogWriter::broadKillLeavesTheLogRunning_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("TERM") << SIGTERM;
    QTest::newRow("INT") << SIGINT;
    QTest::newRow("HUP") << SIGHUP;
    QTest::newRow("QUIT") << SIGQUIT;
    QTest::newRow("PIPE") << SIGPIPE;
}

// As `pkill -f porthive` does: every process of the writer gets the signal.
void TestLogWriter::broadKillLeavesTheLogRunning()
{
    QFETCH(int, signal);
    QCOMPARE(::kill(m_writer.keeper, signal), 0);
    QCOMPARE(::kill(m_writer.copier, signal), 0);

    // What the server writes after it still reaches the log, a pipe's worth and more included.
    verifyLogged("/burst");
    verifyLogged("/after");
    QVERIFY(!isGone(m_writer.keeper));
    QVERIFY(!isGone(m_writer.copier));
    QVERIFY(!isGone(m_server));
    QVERIFY(!readFile(m_log).contains(CappedLog::endedLine));
}

void TestLogWriter::killedCopyEndsTheLogAndNotTheServer()
{
    QCOMPARE(::kill(m_writer.copier, SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(isGone(m_writer.copier), settleTimeout);
    ChildGuard::forget(m_writer.copier);
    QTRY_VERIFY_WITH_TIMEOUT(readFile(m_log).endsWith(endedLine), settleTimeout);

    // The server goes on writing, far past what a pipe holds, and answers.
    QCOMPARE(get(m_port, "/burst"), std::optional<QByteArray>("ok /burst"));
    QCOMPARE(get(m_port, "/after"), std::optional<QByteArray>("ok /after"));
    QVERIFY(!isGone(m_server));
    QVERIFY(!isGone(m_writer.keeper));
    // Its later output is gone; the log says so last, where the row's preview and the log viewer show it.
    const QByteArray log = readFile(m_log);
    QVERIFY(log.endsWith(endedLine));
    QVERIFY(!log.contains("request /after"));
    const ServerLogSnapshot snapshot = ServerLogService::readSnapshot(m_log);
    QCOMPARE(snapshot.preview, ended);
    QVERIFY(snapshot.text.endsWith(ended + u'\n'));

    // A Porthive started afterwards shows it on the project's row.
    StoreRig rig(m_scratch->filePath(u"logs"_s));
    ServerStore& store = rig.makeStore();
    awaitTask(store.recordLogSession(m_session));
    QCOMPARE(store.logPreviewsByProjectPath().value(m_project), ended);

    // The writer still ends with the server's output.
    QCOMPARE(::kill(m_server, SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(isGone(m_writer.keeper), settleTimeout);
}

// The copy does not depend on the process Porthive started: killing that one loses nothing.
void TestLogWriter::killedKeeperLeavesTheCopyRunning()
{
    QCOMPARE(::kill(m_writer.keeper, SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(isGone(m_writer.keeper), settleTimeout);
    ChildGuard::forget(m_writer.keeper);
    verifyLogged("/burst");
    verifyLogged("/after");
    QVERIFY(!isGone(m_server));
    QVERIFY(!readFile(m_log).contains(CappedLog::endedLine));

    QCOMPARE(::kill(m_server, SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(isGone(m_writer.copier), settleTimeout);
}

PORTHIVE_TEST_MAIN(TestLogWriter)
#include "tst_logwriter.moc"
