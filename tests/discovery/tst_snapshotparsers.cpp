#include "base/snapshotrows.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/processsnapshotservice.h"
#include "support/discoveryprinting.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString fixture(const QString& name)
{
    QFile file(TestHome::dataFile(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return QString::fromUtf8(file.readAll());
}

QString lines(const QStringList& list)
{
    return list.join(u'\n') + u'\n';
}

ConnectionRow row(qint32 pid, const QString& command, const QString& endpoint, std::optional<QString> state)
{
    return ConnectionRow{pid, command, endpoint, std::move(state)};
}

} // namespace

class TestSnapshotParsers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsePsLine_data();
    void parsePsLine();
    void parsePsOutputKeepsOrderAndSkipsNoise();
    void parsePsCaptureOfThisPlatform();
    void parseLsofOutput_data();
    void parseLsofOutput();
    void parseLsofCaptureOfThisPlatform();
    void parseWorkingDirectoryOutput_data();
    void parseWorkingDirectoryOutput();
    void endpointPort_data();
    void endpointPort();
    void listenerRows_data();
    void listenerRows();
    void toolArguments();
    void keepExistingFolders();
};

void TestSnapshotParsers::parsePsLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<std::optional<ProcessRow>>("expected");
    QTest::newRow("node server") << u"  123     1 S+   /usr/local/bin/node node server.js --port 3000"_s
                                 << std::optional(ProcessRow{123, 1, u"S+"_s, u"/usr/local/bin/node"_s,
                                                             u"node server.js --port 3000"_s});
    QTest::newRow("stopped") << u"77 76 T zsh -zsh"_s << std::optional(ProcessRow{77, 76, u"T"_s, u"zsh"_s, u"-zsh"_s});
    QTest::newRow("tabs") << u"\t9\t1\tSs\tlaunchd\t/sbin/launchd"_s
                          << std::optional(ProcessRow{9, 1, u"Ss"_s, u"launchd"_s, u"/sbin/launchd"_s});
    QTest::newRow("path with a space is cut")
        << u"501 1 S /Applications/Visual Studio Code.app/Contents/MacOS/Electron --type=utility"_s
        << std::optional(ProcessRow{501, 1, u"S"_s, u"/Applications/Visual"_s,
                                    u"Studio Code.app/Contents/MacOS/Electron --type=utility"_s});
    QTest::newRow("largest pid") << u"2147483647 1 S a b"_s
                                 << std::optional(ProcessRow{2147483647, 1, u"S"_s, u"a"_s, u"b"_s});
    QTest::newRow("eleven-digit pid") << u"12345678901 1 S node node x"_s << std::optional<ProcessRow>();
    QTest::newRow("parent too large") << u"5 2147483648 S node node x"_s << std::optional<ProcessRow>();
    QTest::newRow("four columns") << u"123 1 S node"_s << std::optional<ProcessRow>();
    QTest::newRow("header") << u"  PID  PPID STAT COMM             COMMAND"_s << std::optional<ProcessRow>();
    QTest::newRow("negative pid") << u"-5 1 S node node x"_s << std::optional<ProcessRow>();
    QTest::newRow("empty") << QString() << std::optional<ProcessRow>();
    // "." matches no line break of any kind.
    QTest::newRow("final carriage return")
        << u"20 1 S node node a.js\r"_s << std::optional(ProcessRow{20, 1, u"S"_s, u"node"_s, u"node a.js"_s});
    QTest::newRow("carriage return inside") << u"20 1 S node node a\rb"_s << std::optional<ProcessRow>();
    QTest::newRow("line separator inside") << u"20 1 S node node a\u2028b"_s << std::optional<ProcessRow>();
}

void TestSnapshotParsers::parsePsLine()
{
    QFETCH(QString, line);
    QFETCH(std::optional<ProcessRow>, expected);
    QCOMPARE(ProcessSnapshotService::parsePsLine(line), expected);
}

void TestSnapshotParsers::parsePsOutputKeepsOrderAndSkipsNoise()
{
    const QString text = u"  PID  PPID STAT COMM COMMAND\n\n  20 1 S node node a.js\nnonsense\n  10 1 R+ vite vite\n"_s;
    const QList<ProcessRow> expected{{20, 1, u"S"_s, u"node"_s, u"node a.js"_s},
                                     {10, 1, u"R+"_s, u"vite"_s, u"vite"_s}};
    QCOMPARE(ProcessSnapshotService::parsePsOutput(text), expected);
}

void TestSnapshotParsers::parsePsCaptureOfThisPlatform()
{
    // procps' "comm" is the 15-character kernel name, which may hold spaces: a Next.js server's row is cut in
    // the wrong place (the reason Linux reads /proc instead).
    const QList<ProcessRow> rows = ProcessSnapshotService::parsePsOutput(fixture(u"ps-linux.txt"_s));
    QCOMPARE(rows.size(), 13);
    QCOMPARE(rows.first().pid, 1);
    QCOMPARE(rows.first().state, u"S<Ll"_s);
    QCOMPARE(rows.at(1), (ProcessRow{2, 0, u"S"_s, u"kthreadd"_s, u"[kthreadd]"_s}));
    QCOMPARE(rows.at(8).executable, u"node"_s);
    QVERIFY(rows.at(8).commandLine.startsWith(u"node -e const s=require(\"http\")"_s));
    QCOMPARE(rows.at(11), (ProcessRow{12811, 12805, u"Sl"_s, u"next-server"_s, u"(v1 next-server (v15.0.0)"_s}));
}

void TestSnapshotParsers::parseLsofOutput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<ConnectionRow>>("expected");
    QTest::newRow("listener and connection")
        << lines({u"p42"_s, u"cnode"_s, u"f23"_s, u"n*:3000"_s, u"TST=LISTEN"_s, u"TQR=0"_s, u"TQS=0"_s, u"f24"_s,
                  u"n[::1]:3000->[::1]:50000"_s, u"TST=ESTABLISHED"_s})
        << QList<ConnectionRow>{row(42, u"node"_s, u"*:3000"_s, u"LISTEN"_s),
                                row(42, u"node"_s, u"[::1]:3000->[::1]:50000"_s, u"ESTABLISHED"_s)};
    QTest::newRow("no state line") << lines({u"p7"_s, u"cvite"_s, u"f3"_s, u"n127.0.0.1:5173"_s})
                                   << QList<ConnectionRow>{row(7, u"vite"_s, u"127.0.0.1:5173"_s, std::nullopt)};
    QTest::newRow("state does not carry to the next file")
        << lines({u"p7"_s, u"cnode"_s, u"f3"_s, u"n*:1"_s, u"TST=LISTEN"_s, u"f4"_s, u"n*:2"_s})
        << QList<ConnectionRow>{row(7, u"node"_s, u"*:1"_s, u"LISTEN"_s), row(7, u"node"_s, u"*:2"_s, std::nullopt)};
    QTest::newRow("ends right after the name")
        << u"p5\ncnode\nf9\nn*:8080"_s << QList<ConnectionRow>{row(5, u"node"_s, u"*:8080"_s, std::nullopt)};
    QTest::newRow("process without sockets") << lines({u"p5"_s, u"cnode"_s}) << QList<ConnectionRow>{};
    QTest::newRow("command of each process")
        << lines(
               {u"p1"_s, u"cnode"_s, u"f3"_s, u"n*:1"_s, u"TST=LISTEN"_s, u"p2"_s, u"f4"_s, u"n*:2"_s, u"TST=LISTEN"_s})
        << QList<ConnectionRow>{row(1, u"node"_s, u"*:1"_s, u"LISTEN"_s), row(2, QString(), u"*:2"_s, u"LISTEN"_s)};
    QTest::newRow("other tcp information ignored")
        << lines({u"p1"_s, u"cnode"_s, u"f3"_s, u"n*:1"_s, u"TQR=0"_s, u"TSO=x"_s, u"Tst=LISTEN"_s})
        << QList<ConnectionRow>{row(1, u"node"_s, u"*:1"_s, std::nullopt)};
    // A name before any process is kept and goes to the process that follows.
    QTest::newRow("name before any process")
        << lines({u"n*:9"_s, u"p1"_s, u"cnode"_s, u"f3"_s, u"n*:1"_s})
        << QList<ConnectionRow>{row(1, u"node"_s, u"*:9"_s, std::nullopt), row(1, u"node"_s, u"*:1"_s, std::nullopt)};
    QTest::newRow("bad process id") << lines({u"pabc"_s, u"cnode"_s, u"f3"_s, u"n*:1"_s, u"TST=LISTEN"_s})
                                    << QList<ConnectionRow>{};
    QTest::newRow("two names of one file")
        << lines({u"p1"_s, u"f3"_s, u"n*:1"_s, u"TST=LISTEN"_s, u"n*:2"_s, u"TST=CLOSE"_s})
        << QList<ConnectionRow>{row(1, QString(), u"*:1"_s, u"LISTEN"_s), row(1, QString(), u"*:2"_s, u"CLOSE"_s)};
    QTest::newRow("empty") << QString() << QList<ConnectionRow>{};
}

void TestSnapshotParsers::parseLsofOutput()
{
    QFETCH(QString, text);
    QFETCH(QList<ConnectionRow>, expected);
    QCOMPARE(ConnectionSnapshotService::parseLsofOutput(text), expected);
}

void TestSnapshotParsers::parseLsofCaptureOfThisPlatform()
{
    // Debian's lsof 4.95 with node servers on 127.0.0.1, [::1] and ::, and a client connected to each.
    const QList<ConnectionRow> rows = ConnectionSnapshotService::parseLsofOutput(fixture(u"lsof-tcp-linux.txt"_s));
    const QList<ConnectionRow> expected{
        row(11877, u"tst_analyticscl"_s, u"127.0.0.1:45181"_s, u"LISTEN"_s),
        row(12808, u"node"_s, u"127.0.0.1:3000"_s, u"LISTEN"_s),
        row(12808, u"node"_s, u"127.0.0.1:3000->127.0.0.1:50390"_s, u"ESTABLISHED"_s),
        row(12809, u"node"_s, u"[::1]:5173"_s, u"LISTEN"_s),
        row(12809, u"node"_s, u"[::1]:5173->[::1]:46162"_s, u"ESTABLISHED"_s),
        row(12810, u"node"_s, u"*:8080"_s, u"LISTEN"_s),
        row(12810, u"node"_s, u"127.0.0.1:8080->127.0.0.1:58972"_s, u"ESTABLISHED"_s),
        row(12837, u"node"_s, u"127.0.0.1:50390->127.0.0.1:3000"_s, u"ESTABLISHED"_s),
        row(12837, u"node"_s, u"[::1]:46162->[::1]:5173"_s, u"ESTABLISHED"_s),
        row(12837, u"node"_s, u"127.0.0.1:58972->127.0.0.1:8080"_s, u"ESTABLISHED"_s),
    };
    QCOMPARE(rows, expected);
    const QList<ListenerRow> listeners{
        {11877, u"127.0.0.1"_s, 45181}, {12808, u"127.0.0.1"_s, 3000}, {12809, u"::1"_s, 5173}, {12810, u"*"_s, 8080}};
    QCOMPARE(::listenerRows(rows), listeners);
}

void TestSnapshotParsers::parseWorkingDirectoryOutput_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<WorkingDirectories>("expected");
    QTest::newRow("one process") << lines({u"p501"_s, u"fcwd"_s, u"n/Users/me/app"_s})
                                 << WorkingDirectories{{501, u"/Users/me/app"_s}};
    QTest::newRow("relative name ignored") << lines({u"p501"_s, u"fcwd"_s, u"nrelative/app"_s}) << WorkingDirectories{};
    QTest::newRow("later entry replaces")
        << lines({u"p1"_s, u"n/a"_s, u"p1"_s, u"n/b"_s}) << WorkingDirectories{{1, u"/b"_s}};
    QTest::newRow("name before any process")
        << lines({u"n/a"_s, u"p2"_s, u"n/b"_s}) << WorkingDirectories{{2, u"/b"_s}};
    QTest::newRow("bad id") << lines({u"p1"_s, u"n/a"_s, u"px"_s, u"n/b"_s}) << WorkingDirectories{{1, u"/a"_s}};
    QTest::newRow("path with spaces and umlauts")
        << lines({u"p3"_s, u"n/home/jö rg/my app"_s}) << WorkingDirectories{{3, u"/home/jö rg/my app"_s}};
    // lsof lists the processes it found and exits 1 for the one that has gone.
    QTest::newRow("capture with a vanished process")
        << fixture(u"lsof-cwd-linux.txt"_s) << WorkingDirectories{{12808, u"/tmp"_s}, {12809, u"/tmp"_s}};
}

void TestSnapshotParsers::parseWorkingDirectoryOutput()
{
    QFETCH(QString, text);
    QFETCH(WorkingDirectories, expected);
    QCOMPARE(::parseWorkingDirectoryOutput(text), expected);
}

void TestSnapshotParsers::endpointPort_data()
{
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<std::optional<qint64>>("port");
    QTest::newRow("ipv4") << u"127.0.0.1:3000"_s << std::optional<qint64>(3000);
    QTest::newRow("wildcard") << u"*:5173"_s << std::optional<qint64>(5173);
    QTest::newRow("ipv6") << u"[::1]:8080"_s << std::optional<qint64>(8080);
    QTest::newRow("connection takes the remote port")
        << u"127.0.0.1:3000->127.0.0.1:51234"_s << std::optional<qint64>(51234);
    QTest::newRow("no colon") << u"localhost"_s << std::optional<qint64>();
    QTest::newRow("empty port") << u"127.0.0.1:"_s << std::optional<qint64>();
    QTest::newRow("wildcard port") << u"*:*"_s << std::optional<qint64>();
    QTest::newRow("not a number") << u"host:http"_s << std::optional<qint64>();
    QTest::newRow("blank") << u"host: 80"_s << std::optional<qint64>();
    QTest::newRow("bare ipv6 takes the last group") << u"::1"_s << std::optional<qint64>(1);
}

void TestSnapshotParsers::endpointPort()
{
    QFETCH(QString, endpoint);
    QFETCH(std::optional<qint64>, port);
    QCOMPARE(::endpointPort(endpoint), port);
}

void TestSnapshotParsers::listenerRows_data()
{
    QTest::addColumn<QList<ConnectionRow>>("rows");
    QTest::addColumn<QList<ListenerRow>>("expected");
    QTest::newRow("hosts")
        << QList<ConnectionRow>{row(1, {}, u"*:3000"_s, u"LISTEN"_s), row(2, {}, u"[::1]:5173"_s, u"LISTEN"_s),
                                row(3, {}, u"127.0.0.1:8080"_s, u"LISTEN"_s), row(4, {}, u":3000"_s, u"LISTEN"_s)}
        << QList<ListenerRow>{{1, u"*"_s, 3000}, {2, u"::1"_s, 5173}, {3, u"127.0.0.1"_s, 8080}, {4, u"*"_s, 3000}};
    QTest::newRow("only listening sockets")
        << QList<ConnectionRow>{row(1, {}, u"127.0.0.1:3000->127.0.0.1:5000"_s, u"ESTABLISHED"_s),
                                row(1, {}, u"*:3000"_s, std::nullopt), row(1, {}, u"*:3001"_s, u"listen"_s)}
        << QList<ListenerRow>{};
    QTest::newRow("local side of a listening pair")
        << QList<ConnectionRow>{row(5, {}, u"[::1]:3000->[::1]:50000"_s, u"LISTEN"_s)}
        << QList<ListenerRow>{{5, u"::1"_s, 3000}};
    QTest::newRow("no colon or no port") << QList<ConnectionRow>{row(1, {}, u"localhost"_s, u"LISTEN"_s),
                                                                 row(2, {}, u"*:*"_s, u"LISTEN"_s)}
                                         << QList<ListenerRow>{};
}

void TestSnapshotParsers::listenerRows()
{
    QFETCH(QList<ConnectionRow>, rows);
    QFETCH(QList<ListenerRow>, expected);
    QCOMPARE(::listenerRows(rows), expected);
}

void TestSnapshotParsers::toolArguments()
{
    QCOMPARE(ProcessSnapshotService::processListArguments(),
             (QStringList{u"axww"_s, u"-o"_s, u"pid="_s, u"-o"_s, u"ppid="_s, u"-o"_s, u"stat="_s, u"-o"_s, u"comm="_s,
                          u"-o"_s, u"command="_s}));
    QCOMPARE(ConnectionSnapshotService::connectionListArguments(), (QStringList{u"-nP"_s, u"-iTCP"_s, u"-FpcfnT"_s}));
    QCOMPARE(ProcessSnapshotService::workingDirectoryArguments({502, 501, 502}),
             (QStringList{u"-a"_s, u"-p"_s, u"501,502"_s, u"-d"_s, u"cwd"_s, u"-Fpn"_s}));
}

void TestSnapshotParsers::keepExistingFolders()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(u"app ä"_s);
    QVERIFY(QDir().mkpath(folder));
    const QString file = dir.filePath(u"file"_s);
    QFile plain(file);
    QVERIFY(plain.open(QIODevice::WriteOnly));

    const WorkingDirectories kept = ProcessSnapshotService::keepExistingFolders({
        {1, folder},
        {2, folder + u" (deleted)"_s},
        {3, u"/proc/3/cwd (readlink: Permission denied)"_s},
        {4, dir.filePath(u"gone"_s)},
        {5, file},
        {6, u"/"_s},
    });
    QCOMPARE(kept, (WorkingDirectories{{1, folder}, {6, u"/"_s}}));
}

PORTHIVE_TEST_MAIN(TestSnapshotParsers)
#include "tst_snapshotparsers.moc"
