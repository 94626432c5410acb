#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/processsnapshotservice.h"
#include "platform/listings/procfilesystem.h"
#include "platform/listings/systemtools.h"
#include "support/awaittask.h"
#include "support/discoveryprinting.h"
#include "support/nodeserver.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <arpa/inet.h>
#include <memory>
#include <sys/prctl.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(std::optional<ProcFileSystem::ProcessStat>)

namespace {

QByteArray fixture(const QString& name)
{
    QFile file(TestHome::dataFile(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

// A /proc/<pid>/stat line with the given command name and fields.
QByteArray statLine(const QByteArray& comm, char state, int ppid, int pgrp, int session, int tpgid, int nice,
                    int threads)
{
    return QByteArray("4242 (") + comm + ") " + state + ' ' + QByteArray::number(ppid) + ' ' +
           QByteArray::number(pgrp) + ' ' + QByteArray::number(session) + " 34816 " + QByteArray::number(tpgid) +
           " 4194560 1200 0 3 0 25 7 0 0 20 " + QByteArray::number(nice) + ' ' + QByteArray::number(threads) +
           " 0 98765 1048576000 12000 18446744073709551615 1 1 0 0 0 0 0 16781312 0 0 0 17 3 0 0 0 0 0\n";
}

QString ownCommandName()
{
    QFile comm(u"/proc/self/comm"_s);
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(comm.readAll().trimmed());
}

QString localPort(const QTcpSocket& socket)
{
    return QString::number(socket.localPort());
}

QList<ConnectionRow> rowsOf(const QList<ConnectionRow>& rows, const QList<qint64>& pids)
{
    QList<ConnectionRow> kept;
    for (const ConnectionRow& row : rows) {
        if (pids.contains(row.pid))
            kept.append(row);
    }
    return kept;
}

} // namespace

// The Linux /proc layer: its parsers on fixtures, and the whole reader against real node servers and sockets.
class TestProcSnapshot : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseStat_data();
    void parseStat();
    void stateLetters_data();
    void stateLetters();
    void commandLineFromBytes_data();
    void commandLineFromBytes();
    void commandNames_data();
    void commandNames();
    void parseNetTcpCapture();
    void parseNetTcp6Capture();
    void parseNetTcpOddLines();
    void socketAddressesAsInetNtopWritesThem_data();
    void socketAddressesAsInetNtopWritesThem();
    void parseTcpOpenings_data();
    void parseTcpOpenings();

    void initLive();
    void processRowsOfRealServers();
    void stoppedProcessShowsT();
    void connectionRowsOfRealSockets();
    void sameRowsAsLsof();
    void workingDirectories();
    void commandNameOfOddlyNamedProcess();
    void longCommandLineReadWhole();
    void keptFilesFollowTheirProcess();

private:
    QCoro::Task<QList<ConnectionRow>> connections() { return m_connections->connections(); }
    bool requireProc();

    std::unique_ptr<ProcessSnapshotService> m_processes;
    std::unique_ptr<ConnectionSnapshotService> m_connections;
};

void TestProcSnapshot::parseStat_data()
{
    using Stat = ProcFileSystem::ProcessStat;
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<std::optional<Stat>>("expected");
    QTest::newRow("node") << statLine("node", 'S', 1, 4242, 4242, -1, 0, 11)
                          << std::optional(Stat{'S', 1, 4242, 4242, -1, 0, 11, 98765});
    // The kernel name holds spaces and an unbalanced "(": the fields start after the last ")".
    QTest::newRow("next-server") << statLine("next-server (v1", 'R', 77, 70, 60, 70, 0, 1)
                                 << std::optional(Stat{'R', 77, 70, 60, 70, 0, 1, 98765});
    QTest::newRow("parentheses in the name")
        << statLine("a) S 9 (b", 'T', 5, 5, 5, 5, -5, 2) << std::optional(Stat{'T', 5, 5, 5, 5, -5, 2, 98765});
    // Before the start time: the row without it.
    QTest::newRow("no start time") << statLine("node", 'S', 1, 9, 9, -1, 0, 1).left(66)
                                   << std::optional(Stat{'S', 1, 9, 9, -1, 0, 1});
    QTest::newRow("cut short") << QByteArray("4242 (node) S 1 4242") << std::optional<Stat>();
    QTest::newRow("no name") << QByteArray("4242 node S 1") << std::optional<Stat>();
    QTest::newRow("bad parent") << statLine("node", 'S', 1, 1, 1, 1, 0, 1).replace(" S 1 ", " S x ")
                                << std::optional<Stat>();
}

void TestProcSnapshot::parseStat()
{
    QFETCH(QByteArray, text);
    QFETCH(std::optional<ProcFileSystem::ProcessStat>, expected);
    QVERIFY(ProcFileSystem::parseStat(text) == expected);
}

void TestProcSnapshot::stateLetters_data()
{
    QTest::addColumn<QByteArray>("stat");
    QTest::addColumn<QString>("letters");
    QTest::newRow("sleeping") << statLine("node", 'S', 1, 9, 9, -1, 0, 1) << u"S"_s;
    QTest::newRow("stopped") << statLine("node", 'T', 1, 9, 9, -1, 0, 1) << u"T"_s;
    QTest::newRow("threads, foreground") << statLine("node", 'S', 1, 9, 9, 9, 0, 7) << u"Sl+"_s;
    QTest::newRow("session leader") << statLine("zsh", 'S', 1, 4242, 4242, -1, 0, 1) << u"Ss"_s;
    QTest::newRow("high priority") << statLine("x", 'I', 2, 0, 0, -1, -20, 1) << u"I<"_s;
    QTest::newRow("niced, stopped in foreground") << statLine("x", 'T', 1, 3, 3, 3, 5, 1) << u"TN+"_s;
}

void TestProcSnapshot::stateLetters()
{
    QFETCH(QByteArray, stat);
    QFETCH(QString, letters);
    const std::optional<ProcFileSystem::ProcessStat> parsed = ProcFileSystem::parseStat(stat);
    QVERIFY(parsed);
    QCOMPARE(ProcFileSystem::stateLetters(*parsed, 4242), letters);
}

void TestProcSnapshot::commandLineFromBytes_data()
{
    QTest::addColumn<QByteArray>("cmdline");
    QTest::addColumn<QString>("commandLine");
    QTest::newRow("arguments") << QByteArray("node\0server.js\0--port\0"
                                             "3000\0",
                                             27)
                               << u"node server.js --port 3000"_s;
    QTest::newRow("rewritten title") << QByteArray("next-server (v15.0.0)\0\0\0\0\0\0\0\0", 29)
                                     << u"next-server (v15.0.0)"_s;
    QTest::newRow("empty argument inside") << QByteArray("a\0\0b\0", 5) << u"a  b"_s;
    QTest::newRow("no trailing nul") << QByteArray("vite") << u"vite"_s;
    QTest::newRow("utf-8") << QByteArray("node\0/home/j\xc3\xbcrgen/app.js\0", 26) << u"node /home/jürgen/app.js"_s;
    QTest::newRow("nothing") << QByteArray() << QString();
    // As ps shows them: a line feed never splits the command, other control bytes and non-UTF-8 are "?".
    QTest::newRow("line feeds") << QByteArray("node\0-e\0a()\nb()\n\0", 17) << u"node -e a() b() "_s;
    QTest::newRow("control characters") << QByteArray("a\tb\x01"
                                                      "c\x7f"
                                                      "d\x1b[0m\re")
                                        << u"a?b?c?d?[0m?e"_s;
    QTest::newRow("not utf-8") << QByteArray("caf\xe9 \xc3\xa9 \xed\xa0\x80") << u"caf? é ???"_s;
}

void TestProcSnapshot::commandLineFromBytes()
{
    QFETCH(QByteArray, cmdline);
    QFETCH(QString, commandLine);
    QCOMPARE(ProcFileSystem::commandLineFromBytes(cmdline), commandLine);
}

void TestProcSnapshot::commandNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("psForm");
    QTest::addColumn<QString>("lsofForm");
    QTest::newRow("plain") << QByteArray("node") << u"node"_s << u"node"_s;
    QTest::newRow("spaces and parentheses")
        << QByteArray("next-server (v1") << u"next-server (v1"_s << u"next-server (v1"_s;
    QTest::newRow("line feed") << QByteArray("we(ir)d\nna me") << u"we(ir)d?na me"_s << u"we(ir)d\\nna me"_s;
    QTest::newRow("escapes") << QByteArray("a\bb\fc\x0b"
                                           "d\x1f"
                                           "e\\f\tg\rh")
                             << u"a?b?c?d?e\\f?g?h"_s << u"a\\bb\\fc^Kd^_e\\\\f\\tg\\rh"_s;
    QTest::newRow("control and delete") << QByteArray("a\x01"
                                                      "b\x7f"
                                                      "c\x1b")
                                        << u"a?b?c?"_s << u"a^Ab\\x7fc^["_s;
    QTest::newRow("utf-8 and stray bytes")
        << QByteArray("n\xc3\xa9\xc2\xa0x\xff") << u"n\u00e9\u00a0x?"_s << u"n\u00e9\u00a0x\\xff"_s;
}

void TestProcSnapshot::commandNames()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, psForm);
    QFETCH(QString, lsofForm);
    QCOMPARE(ProcFileSystem::psCommandName(name), psForm);
    QCOMPARE(ProcFileSystem::lsofCommandName(name), lsofForm);
}

void TestProcSnapshot::parseNetTcpCapture()
{
    using ProcFileSystem::TcpSocket;
    const QList<TcpSocket> sockets = ProcFileSystem::parseNetTcp(fixture(u"proc-net-tcp.txt"_s), false);
    // Sockets without an inode (TIME_WAIT) belong to no process and are left out.
    QCOMPARE(sockets.size(), 19);
    QCOMPARE(sockets.at(0), (TcpSocket{36313, u"127.0.0.1:3000"_s, u"LISTEN"_s}));
    QCOMPARE(sockets.at(1), (TcpSocket{33918, u"*:4000"_s, u"LISTEN"_s}));
    QCOMPARE(sockets.at(4), (TcpSocket{36466, u"127.0.0.1:3000->127.0.0.1:42302"_s, u"ESTABLISHED"_s}));
    QCOMPARE(sockets.at(5), (TcpSocket{31171, u"127.0.0.1:36558->127.0.0.1:8080"_s, u"ESTABLISHED"_s}));
}

void TestProcSnapshot::parseNetTcp6Capture()
{
    using ProcFileSystem::TcpSocket;
    const QList<TcpSocket> expected{
        {25424, u"*:8080"_s, u"LISTEN"_s},
        {31161, u"[::1]:5173"_s, u"LISTEN"_s},
        // An IPv4 client of a server on "::" is written as plain IPv4, as lsof does.
        {25966, u"127.0.0.1:8080->127.0.0.1:36558"_s, u"ESTABLISHED"_s},
        {31170, u"[::1]:55588->[::1]:5173"_s, u"ESTABLISHED"_s},
        {25425, u"[::1]:5173->[::1]:55588"_s, u"ESTABLISHED"_s},
    };
    QCOMPARE(ProcFileSystem::parseNetTcp(fixture(u"proc-net-tcp6.txt"_s), true), expected);
}

void TestProcSnapshot::socketAddressesAsInetNtopWritesThem_data()
{
    QTest::addColumn<QByteArray>("address");
    for (const char* address : {"127.0.0.1", "0.0.0.1", "10.0.0.5", "192.168.100.255", "255.255.255.255", "1.20.200.9"})
        QTest::newRow(address) << QByteArray(address);
}

void TestProcSnapshot::socketAddressesAsInetNtopWritesThem()
{
    QFETCH(QByteArray, address);
    in_addr v4{};
    QVERIFY(::inet_pton(AF_INET, address.constData(), &v4) == 1);
    char expected[INET_ADDRSTRLEN] = {};
    QVERIFY(::inet_ntop(AF_INET, &v4, expected, sizeof expected));
    const auto* bytes = reinterpret_cast<const unsigned char*>(&v4);

    ProcFileSystem::SocketAddress plain{};
    std::copy_n(bytes, 4, plain.begin());
    QCOMPARE(ProcFileSystem::formatSocketAddress(plain, false, 8080), QString::fromLatin1(expected) + u":8080"_s);
    // The same address mapped into IPv6 is written as IPv4.
    ProcFileSystem::SocketAddress mapped{};
    mapped[10] = 0xff;
    mapped[11] = 0xff;
    std::copy_n(bytes, 4, mapped.begin() + 12);
    QCOMPARE(ProcFileSystem::formatSocketAddress(mapped, true, 8080), QString::fromLatin1(expected) + u":8080"_s);
}

void TestProcSnapshot::parseNetTcpOddLines()
{
    using ProcFileSystem::TcpSocket;
    const QByteArray v4 =
        "  sl  local_address rem_address   st\n"
        "   0: 00000000:0000 00000000:0000 07 00000000:00000000 00:00000000 00000000  1000 0 11 1\n"
        "   1: 0100007F:0BB8 0100007F:C350 0D 00000000:00000000 00:00000000 00000000  1000 0 12 1\n"
        "   2: 0100007F:ZZZZ 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000 0 13 1\n"
        "   3: 0100007F 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000 0 14 1\n"
        "   4: 0100007F:0BB8 00000000:0000 0A\n"
        "   5: 0A00020F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000 0 15 1\n"
        // A port field that would wrap to 3000 in 32 bits.
        "   6: 0100007F:100000BB8 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000 0 16 1\n";
    const QList<TcpSocket> expected{
        {11, u"*:*"_s, u"CLOSE"_s},
        {12, u"127.0.0.1:3000->127.0.0.1:50000"_s, u"UNKNOWN_TCP_STATE_13"_s},
        {15, u"15.2.0.10:8080"_s, u"LISTEN"_s},
    };
    QCOMPARE(ProcFileSystem::parseNetTcp(v4, false), expected);
    // A link-local IPv6 listener keeps its full address.
    const QByteArray v6 = "   0: 000080FE00000000FF0000FC010000FE:0BB8 00000000000000000000000000000000:0000 0A "
                          "00000000:00000000 00:00000000 00000000 0 0 21 1\n";
    QCOMPARE(ProcFileSystem::parseNetTcp(v6, true),
             (QList<TcpSocket>{{21, u"[fe80::fc00:ff:fe00:1]:3000"_s, u"LISTEN"_s}}));
}

bool TestProcSnapshot::requireProc()
{
    return QFileInfo::exists(u"/proc/net/tcp"_s) && QFileInfo::exists(u"/proc/self/fd"_s);
}

void TestProcSnapshot::initLive()
{
    m_processes = std::make_unique<ProcessSnapshotService>(nullptr, SnapshotSource::ProcFileSystem);
    m_connections = std::make_unique<ConnectionSnapshotService>(nullptr, SnapshotSource::ProcFileSystem);
}

void TestProcSnapshot::processRowsOfRealServers()
{
    if (!requireProc())
        QSKIP("no /proc file system");
    initLive();
    NodeServer plain;
    QVERIFY2(plain.start(), qPrintable(plain.errorText()));
    NodeServer::Options titled;
    titled.title = u"next-server (v15.0.0)"_s;
    NodeServer next(titled);
    QVERIFY2(next.start(), qPrintable(next.errorText()));

    const TaskOutcome<QList<ProcessRow>> outcome = waitForOutcome(m_processes->processes());
    QVERIFY(outcome.value);
    const QList<ProcessRow>& rows = *outcome.value;
    const auto find = [&](qint64 pid) {
        return std::find_if(rows.begin(), rows.end(), [pid](const ProcessRow& row) { return row.pid == pid; });
    };
    const QString node = QFileInfo(NodeServer::nodePath()).canonicalFilePath();
    const qint32 self = qint32(QCoreApplication::applicationPid());

    const auto plainRow = find(plain.pid());
    QVERIFY(plainRow != rows.end());
    QCOMPARE(plainRow->parentPid, self);
    QCOMPARE(plainRow->executable, node);
    QVERIFY2(plainRow->commandLine.startsWith(NodeServer::nodePath() + u" -e const server"_s),
             qPrintable(plainRow->commandLine));
    QVERIFY(!plainRow->state.contains(u'T'));

    const auto nextRow = find(next.pid());
    QVERIFY(nextRow != rows.end());
    QCOMPARE(nextRow->commandLine, u"next-server (v15.0.0)"_s);
    QCOMPARE(nextRow->executable, node);

    // Our own process, and ascending order like ps.
    QVERIFY(find(self) != rows.end());
    QVERIFY(std::is_sorted(rows.begin(), rows.end(),
                           [](const ProcessRow& a, const ProcessRow& b) { return a.pid < b.pid; }));
}

void TestProcSnapshot::stoppedProcessShowsT()
{
    if (!requireProc())
        QSKIP("no /proc file system");
    initLive();
    NodeServer server;
    QVERIFY2(server.start(), qPrintable(server.errorText()));
    const auto stateOf = [&]() -> QString {
        const TaskOutcome<QList<ProcessRow>> outcome = waitForOutcome(m_processes->processes());
        for (const ProcessRow& row : outcome.value.value_or(QList<ProcessRow>{})) {
            if (row.pid == server.pid())
                return row.state;
        }
        return {};
    };
    QVERIFY(!stateOf().contains(u'T'));
    ::kill(pid_t(server.pid()), SIGSTOP);
    QTRY_VERIFY_WITH_TIMEOUT(stateOf().startsWith(u'T'), 30000);
    ::kill(pid_t(server.pid()), SIGCONT);
    QTRY_VERIFY_WITH_TIMEOUT(!stateOf().contains(u'T'), 30000);
}

void TestProcSnapshot::connectionRowsOfRealSockets()
{
    if (!requireProc())
        QSKIP("no /proc file system");
    initLive();
    NodeServer v4;
    QVERIFY2(v4.start(), qPrintable(v4.errorText()));
    NodeServer::Options v6Options;
    v6Options.host = u"::1"_s;
    NodeServer v6(v6Options);
    QVERIFY2(v6.start(), qPrintable(v6.errorText()));
    NodeServer::Options wildcardOptions;
    wildcardOptions.host = u"::"_s;
    NodeServer wildcard(wildcardOptions);
    QVERIFY2(wildcard.start(), qPrintable(wildcard.errorText()));
    NodeServer::Options titled;
    titled.title = u"next-server (v15.0.0)"_s;
    NodeServer next(titled);
    QVERIFY2(next.start(), qPrintable(next.errorText()));
    NodeServer::Options clientOptions;
    clientOptions.script = NodeServer::clientScript(u"127.0.0.1"_s, v4.port());
    NodeServer client(clientOptions);
    QVERIFY2(client.start(), qPrintable(client.errorText()));

    QTcpSocket toV6;
    toV6.connectToHost(QHostAddress::LocalHostIPv6, v6.port());
    QVERIFY(toV6.waitForConnected(30000));
    QTcpSocket toWildcard;
    toWildcard.connectToHost(QHostAddress::LocalHost, wildcard.port());
    QVERIFY(toWildcard.waitForConnected(30000));

    const auto port = [](const NodeServer& server) {
        return QString::number(server.port());
    };
    const QString self = ownCommandName();
    const qint32 selfPid = qint32(QCoreApplication::applicationPid());
    const QList<ConnectionRow> expected{
        {qint32(v4.pid()), u"node"_s, u"127.0.0.1:"_s + port(v4), u"LISTEN"_s},
        {qint32(v6.pid()), u"node"_s, u"[::1]:"_s + port(v6), u"LISTEN"_s},
        {qint32(wildcard.pid()), u"node"_s, u"*:"_s + port(wildcard), u"LISTEN"_s},
        // Debian's lsof leaves this process out altogether.
        {qint32(next.pid()), u"next-server (v1"_s, u"127.0.0.1:"_s + port(next), u"LISTEN"_s},
        {qint32(client.pid()), u"node"_s, u"127.0.0.1:"_s + port(client) + u"->127.0.0.1:"_s + port(v4),
         u"ESTABLISHED"_s},
        {qint32(v4.pid()), u"node"_s, u"127.0.0.1:"_s + port(v4) + u"->127.0.0.1:"_s + port(client), u"ESTABLISHED"_s},
        {selfPid, self, u"[::1]:"_s + localPort(toV6) + u"->[::1]:"_s + port(v6), u"ESTABLISHED"_s},
        {qint32(v6.pid()), u"node"_s, u"[::1]:"_s + port(v6) + u"->[::1]:"_s + localPort(toV6), u"ESTABLISHED"_s},
        {selfPid, self, u"127.0.0.1:"_s + localPort(toWildcard) + u"->127.0.0.1:"_s + port(wildcard), u"ESTABLISHED"_s},
        {qint32(wildcard.pid()), u"node"_s,
         u"127.0.0.1:"_s + port(wildcard) + u"->127.0.0.1:"_s + localPort(toWildcard), u"ESTABLISHED"_s},
    };
    // The servers accept their connections in their own time.
    QList<ConnectionRow> missing = expected;
    const auto findMissing = [&] {
        const TaskOutcome<QList<ConnectionRow>> outcome = waitForOutcome(connections());
        missing.removeIf([&](const ConnectionRow& row) { return outcome.value && outcome.value->contains(row); });
        return missing.isEmpty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(findMissing(), 30000);
}

void TestProcSnapshot::sameRowsAsLsof()
{
    if (!requireProc())
        QSKIP("no /proc file system");
    if (!QFileInfo(SystemTools::socketListTool()).isExecutable())
        QSKIP("lsof is not installed");
    initLive();
    NodeServer v4;
    QVERIFY2(v4.start(), qPrintable(v4.errorText()));
    NodeServer::Options wildcardOptions;
    wildcardOptions.host = u"::"_s;
    NodeServer wildcard(wildcardOptions);
    QVERIFY2(wildcard.start(), qPrintable(wildcard.errorText()));
    NodeServer::Options clientOptions;
    clientOptions.script = NodeServer::clientScript(u"127.0.0.1"_s, wildcard.port());
    NodeServer client(clientOptions);
    QVERIFY2(client.start(), qPrintable(client.errorText()));
    // A name with a tab and a backslash, which lsof writes escaped.
    NodeServer::Options oddOptions;
    oddOptions.title = u"dev\tweb\\x"_s;
    NodeServer odd(oddOptions);
    QVERIFY2(odd.start(), qPrintable(odd.errorText()));

    CommandRunner runner;
    ConnectionSnapshotService lsof(&runner, SnapshotSource::SystemTools);
    const QList<qint64> pids{v4.pid(), wildcard.pid(), client.pid(), odd.pid()};
    QList<ConnectionRow> fromProc;
    QList<ConnectionRow> fromLsof;
    // Both listings must agree once the wildcard server has accepted its client (three sockets of its own).
    const auto agree = [&] {
        fromProc = rowsOf(waitForOutcome(connections()).value.value_or(QList<ConnectionRow>{}), pids);
        fromLsof = rowsOf(waitForOutcome(lsof.connections()).value.value_or(QList<ConnectionRow>{}), pids);
        return fromProc.size() == 5 && fromProc == fromLsof;
    };
    QTRY_VERIFY_WITH_TIMEOUT(agree(), 30000);
    QCOMPARE(fromProc, fromLsof);
}

void TestProcSnapshot::workingDirectories()
{
    if (!requireProc())
        QSKIP("no /proc file system");
    initLive();
    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString kept = QDir(base.path()).canonicalPath() + u"/prøject ü"_s;
    const QString removed = base.filePath(u"removed"_s);
    QVERIFY(QDir().mkpath(kept));
    QVERIFY(QDir().mkpath(removed));

    NodeServer::Options keptOptions;
    keptOptions.workingDirectory = kept;
    NodeServer inKept(keptOptions);
    QVERIFY2(inKept.start(), qPrintable(inKept.errorText()));
    NodeServer::Options removedOptions;
    removedOptions.workingDirectory = removed;
    NodeServer inRemoved(removedOptions);
    QVERIFY2(inRemoved.start(), qPrintable(inRemoved.errorText()));
    QVERIFY(QDir(removed).removeRecursively());
    NodeServer gone;
    QVERIFY2(gone.start(), qPrintable(gone.errorText()));
    const qint32 gonePid = qint32(gone.pid());
    gone.stop();

    const TaskOutcome<WorkingDirectories> outcome =
        waitForOutcome(m_processes->workingDirectories({qint32(inRemoved.pid()), gonePid, qint32(inKept.pid())}));
    QVERIFY(outcome.value);
    // The deleted folder and the process that has gone give no entry.
    QCOMPARE(*outcome.value, (WorkingDirectories{{qint32(inKept.pid()), kept}}));

    const TaskOutcome<WorkingDirectories> none = waitForOutcome(m_processes->workingDirectories({}));
    QVERIFY(none.value && none.value->isEmpty());
}

PORTHIVE_TEST_MAIN(TestProcSnapshot)
void TestProcSnapshot::parseTcpOpenings_data()
{
    using ProcFileSystem::TcpOpenings;
    QTest::addColumn<QByteArray>("snmp");
    QTest::addColumn<std::optional<TcpOpenings>>("expected");
    const QByteArray names = "Tcp: RtoAlgorithm RtoMin RtoMax MaxConn ActiveOpens PassiveOpens AttemptFails "
                             "EstabResets CurrEstab InSegs OutSegs RetransSegs InErrs OutRsts InCsumErrors\n";
    const QByteArray udp = "Udp: InDatagrams NoPorts\nUdp: 5 6\n";
    QTest::newRow("counts") << QByteArray("Ip: Forwarding\nIp: 1\n" + names +
                                          "Tcp: 1 200 120000 -1 93235 93004 209 1834 7 735709 735461 320 0 1421 0\n" +
                                          udp)
                            << std::optional(TcpOpenings{93235, 93004, 7});
    QTest::newRow("values cut short") << QByteArray(names + "Tcp: 1 200 120000 -1 93235 93004\n")
                                      << std::optional<TcpOpenings>();
    QTest::newRow("no values") << QByteArray(names) << std::optional<TcpOpenings>();
    QTest::newRow("a count missing") << QByteArray("Tcp: ActiveOpens PassiveOpens\nTcp: 1 2\n")
                                     << std::optional<TcpOpenings>();
    QTest::newRow("not a number") << QByteArray("Tcp: ActiveOpens PassiveOpens CurrEstab\nTcp: 1 x 3\n")
                                  << std::optional<TcpOpenings>();
    QTest::newRow("no TCP") << udp << std::optional<TcpOpenings>();
}

void TestProcSnapshot::parseTcpOpenings()
{
    QFETCH(QByteArray, snmp);
    QFETCH(std::optional<ProcFileSystem::TcpOpenings>, expected);
    QVERIFY(ProcFileSystem::parseTcpOpenings(snmp) == expected);
}

void TestProcSnapshot::commandNameOfOddlyNamedProcess()
{
    if (!requireProc())
        QSKIP("no /proc file system");
    // The name a process row and its sockets get, read from its stat, is the one its comm file holds.
    const qint32 self = qint32(QCoreApplication::applicationPid());
    char original[17] = {};
    QCOMPARE(::prctl(PR_GET_NAME, original), 0);
    QCOMPARE(::prctl(PR_SET_NAME, "a\nb\\c) (d\x01"), 0);
    std::optional<QString> command;
    const std::optional<ProcessRow> row = ProcFileSystem::process(self, &command);
    const std::optional<QString> fromComm = ProcFileSystem::socketCommandName(self);
    ::prctl(PR_SET_NAME, original);
    QVERIFY(row);
    QVERIFY(fromComm);
    QCOMPARE(command, fromComm);
    QCOMPARE(*command, u"a\\nb\\\\c) (d^A"_s);
}

// Files kept open give what a reading by path gives, follow the process through an exec, read nothing once it has
// been reaped, and are closed when a round goes by without reading them.
void TestProcSnapshot::keptFilesFollowTheirProcess()
{
    if (!requireProc())
        QSKIP("no /proc file system");
    const auto openFiles = [] {
        return QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size();
    };
    QProcess shell;
    shell.start(u"/bin/sh"_s, {u"-c"_s, u"read line; exec /bin/sleep 60"_s});
    QVERIFY(shell.waitForStarted());
    const qint32 pid = qint32(shell.processId());
    QTRY_VERIFY(ProcFileSystem::process(pid).value_or(ProcessRow{}).commandLine.startsWith(u"/bin/sh"_s));

    const qsizetype before = openFiles();
    ProcFileSystem::KeptProcessFiles kept;
    std::optional<QString> command;
    const std::optional<ProcessRow> row = kept.process(pid, &command);
    std::optional<QString> commandByPath;
    QCOMPARE(row, ProcFileSystem::process(pid, &commandByPath));
    QCOMPARE(command, commandByPath);
    QVERIFY(row->startTime);
    QCOMPARE(row->arguments, (QStringList{u"/bin/sh"_s, u"-c"_s, u"read line; exec /bin/sleep 60"_s}));
    QCOMPARE(openFiles(), before + 2);

    shell.write("\n");
    QTRY_COMPARE(kept.process(pid).value_or(ProcessRow{}).commandLine, u"/bin/sleep 60"_s);
    QCOMPARE(kept.process(pid)->startTime, row->startTime);
    QCOMPARE(openFiles(), before + 2);

    ::kill(pid, SIGKILL);
    QVERIFY(shell.waitForFinished());
    QCOMPARE(kept.process(pid), std::nullopt);
    const qsizetype afterReap = openFiles();
    QVERIFY(kept.process(qint32(QCoreApplication::applicationPid())));
    QCOMPARE(openFiles(), afterReap + 2);
    kept.closeUnread();
    QCOMPARE(openFiles(), afterReap + 2);
    kept.closeUnread();
    QCOMPARE(openFiles(), afterReap);
}

void TestProcSnapshot::longCommandLineReadWhole()
{
    if (!requireProc())
        QSKIP("no /proc file system");
    // Longer than one read of the reader's buffer: the reads go on past the first full one.
    const QString argument = QString(40000, u'a') + u'z';
    QProcess shell;
    shell.start(u"/bin/sh"_s, {u"-c"_s, u"sleep 60"_s, u"sh"_s, argument});
    QVERIFY(shell.waitForStarted());
    const qint32 pid = qint32(shell.processId());
    std::optional<ProcessRow> row;
    // Until the child has replaced the forked test with the shell.
    QTRY_VERIFY((row = ProcFileSystem::process(pid)) && row->commandLine.startsWith(u"/bin/sh"_s));
    ::kill(pid, SIGKILL);
    shell.waitForFinished();
    QCOMPARE(row->commandLine, u"/bin/sh -c sleep 60 sh "_s + argument);
}

#include "tst_procsnapshot.moc"
