#include "platform/listings/processidentity.h"
#include "platform/listings/procfilesystem.h"
#include "support/childguard.h"
#include "support/processfiles.h"
#include "support/sleeperprocess.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <cerrno>
#include <csignal>

using namespace Qt::StringLiterals;

using namespace ProcessFiles;

namespace {} // namespace

class TestProcessIdentity : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void parseStartTime_data();
    void parseStartTime();
    void parseArguments_data();
    void parseArguments();
    void startTimeOfRealProcesses();
    void argumentsOfARealProcess();
    void signalReachesOnlyTheListedProcess();
};

void TestProcessIdentity::initTestCase()
{
    if (!QFile::exists(u"/proc/self/stat"_s))
        QSKIP("no /proc file system");
    ChildGuard::installTerminateHandler();
}

void TestProcessIdentity::cleanup()
{
    for (const qint32 pid : ChildGuard::killAll())
        SleeperProcess::stop(pid);
}

void TestProcessIdentity::parseStartTime_data()
{
    QTest::addColumn<QByteArray>("stat");
    QTest::addColumn<std::optional<quint64>>("start");
    QTest::newRow("node") << QByteArray("4242 (node) S 1 4242 4242 0 -1 4194560 1021 0 0 0 5 2 0 0 20 0 7 0 "
                                        "5678901 1118208000 12000 18446744073709551615 1 1 0 0 0 0 0 0 0 17 3\n")
                          << std::optional<quint64>(5678901);
    QTest::newRow("name with spaces and parentheses")
        << QByteArray("7 (a) b (c)) R 1 7 7 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 99 0 0\n") << std::optional<quint64>(99);
    QTest::newRow("cut short") << QByteArray("7 (a) R 1 7 7 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0")
                               << std::optional<quint64>();
    QTest::newRow("no name") << QByteArray("7 a R 1") << std::optional<quint64>();
}

void TestProcessIdentity::parseStartTime()
{
    QFETCH(QByteArray, stat);
    QFETCH(std::optional<quint64>, start);
    QCOMPARE(ProcessIdentity::parseStartTime(stat), start);
}

void TestProcessIdentity::parseArguments_data()
{
    QTest::addColumn<QByteArray>("cmdline");
    QTest::addColumn<std::optional<QStringList>>("arguments");
    QTest::newRow("boundaries kept") << QByteArray("node\0server.js\0--name=My App\0$(touch x)\0", 40)
                                     << std::optional(QStringList{u"node"_s, u"server.js"_s, u"--name=My App"_s,
                                                                  u"$(touch x)"_s});
    QTest::newRow("empty argument inside")
        << QByteArray("a\0\0b\0", 5) << std::optional(QStringList{u"a"_s, QString(), u"b"_s});
    QTest::newRow("line feed inside") << QByteArray("echo\0a\nb\0", 9)
                                      << std::optional(QStringList{u"echo"_s, u"a\nb"_s});
    QTest::newRow("rewritten title, padded") << QByteArray("npm run dev\0\0\0\0", 15) << std::optional<QStringList>();
    QTest::newRow("rewritten title, full") << QByteArray("npm run dev") << std::optional<QStringList>();
    QTest::newRow("utf-8") << QByteArray("node\0caf\xc3\xa9 \xf0\x9f\x9a\x80\0", 16)
                           << std::optional(QStringList{u"node"_s, u"caf\u00e9 \U0001F680"_s});
    QTest::newRow("byte-order marks kept") << QByteArray("\xef\xbb\xbf"
                                                         "a\0\xef\xbb\xbf\0",
                                                         9)
                                           << std::optional(QStringList{u"\ufeffa"_s, u"\ufeff"_s});
    QTest::newRow("no utf-8") << QByteArray("node\0caf\xe9\0", 10) << std::optional<QStringList>();
    QTest::newRow("sequence cut by its argument's end")
        << QByteArray("a\xc3\0\xa9\0", 5) << std::optional<QStringList>();
    QTest::newRow("nothing (a kernel thread)") << QByteArray() << std::optional<QStringList>();
}

void TestProcessIdentity::parseArguments()
{
    QFETCH(QByteArray, cmdline);
    QFETCH(std::optional<QStringList>, arguments);
    QCOMPARE(ProcessIdentity::parseArguments(cmdline), arguments);
}

void TestProcessIdentity::startTimeOfRealProcesses()
{
    const qint32 own = qint32(QCoreApplication::applicationPid());
    const std::optional<quint64> ownStart = ProcessIdentity::startTime(own);
    QVERIFY(ownStart);
    const qint32 child = SleeperProcess::start();
    QVERIFY(child > 0);
    const std::optional<quint64> childStart = ProcessIdentity::startTime(child);
    QVERIFY(childStart);
    QVERIFY(*childStart >= *ownStart);
    QCOMPARE(ProcessIdentity::send(child, *childStart, 0), 0);
    SleeperProcess::stop(child);
    QCOMPARE(ProcessIdentity::startTime(child), std::nullopt);
    QCOMPARE(ProcessIdentity::send(child, *childStart, 0), ESRCH);
}

void TestProcessIdentity::argumentsOfARealProcess()
{
    QProcess shell;
    const QStringList arguments{u"-c"_s, u"read line"_s, u"name with spaces"_s, u"$(touch x)"_s, u"'"_s};
    shell.start(u"/bin/sh"_s, arguments);
    QVERIFY(shell.waitForStarted());
    const qint32 pid = qint32(shell.processId());
    ChildGuard::track(pid);
    // The child may still be between fork and exec, showing this test's own command line.
    QTRY_VERIFY(readFile(u"/proc/%1/cmdline"_s.arg(pid)).startsWith("/bin/sh"));
    const QString listed = ProcFileSystem::commandLineFromBytes(readFile(u"/proc/%1/cmdline"_s.arg(pid)));

    QCOMPARE(ProcessIdentity::arguments(pid, listed), std::optional(QStringList{u"/bin/sh"_s} + arguments));
    // Not the process that was listed (its command line changed since): no arguments.
    QCOMPARE(ProcessIdentity::arguments(pid, listed + u" more"_s), std::nullopt);
    shell.kill();
    shell.waitForFinished();
    ChildGuard::forget(pid);
}

void TestProcessIdentity::signalReachesOnlyTheListedProcess()
{
    const qint32 listed = SleeperProcess::start();
    QVERIFY(listed > 0);
    const quint64 listedStart = *ProcessIdentity::startTime(listed);
    SleeperProcess::stop(listed);

    // An unrelated process takes the listed one's id.
    const qint32 other = SleeperProcess::startWithPid(listed, listedStart);
    if (other == 0)
        QSKIP("this system does not let the test choose process ids");
    QCOMPARE(other, listed);

    for (const int signal : {0, SIGSTOP, SIGTERM, SIGKILL})
        QCOMPARE(ProcessIdentity::send(listed, listedStart, signal), ESRCH);
    QVERIFY(SleeperProcess::isRunning(other));
    QVERIFY(processState(other) != 'T');
    // Its own identity still reaches it.
    QCOMPARE(ProcessIdentity::send(other, *ProcessIdentity::startTime(other), SIGSTOP), 0);
    QTRY_COMPARE(processState(other), 'T');
}

PORTHIVE_TEST_MAIN(TestProcessIdentity)
#include "tst_processidentity.moc"
