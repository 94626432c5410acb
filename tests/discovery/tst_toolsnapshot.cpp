#include "discovery/commandrunner.h"
#include "discovery/connectionsnapshotservice.h"
#include "discovery/listenersnapshotservice.h"
#include "discovery/processsnapshotservice.h"
#include "platform/listings/systemtools.h"
#include "support/awaittask.h"
#include "support/discoveryprinting.h"
#include "support/fakecommandrunner.h"
#include "support/nodeserver.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(CommandRunnerError)

namespace {

CommandRunnerError lsofFailed(qint32 status, const QString& standardError, const QString& standardOutput)
{
    return CommandRunnerError::failed(SystemTools::socketListTool(), status, standardError, standardOutput);
}

} // namespace

// The ps and lsof path of the snapshot services (the one macOS uses), on a scripted runner and on the real tools.
class TestToolSnapshot : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void processesRunPsAndParse();
    void processListingErrorsReachTheCaller();
    void connectionsRunLsofAndParse();
    void connectionListingFailures_data();
    void connectionListingFailures();
    void listenersDeriveFromTheSocketListing();
    void workingDirectoriesAskOnlyForTheGivenProcesses();
    void emptyIdListRunsNothing();
    void workingDirectoryFailures_data();
    void workingDirectoryFailures();
    void realToolsSeeANodeServer();
};

void TestToolSnapshot::processesRunPsAndParse()
{
    FakeCommandRunner runner;
    runner.setOutput(u"  123     1 S+   /usr/local/bin/node node server.js\n  124   123 T    vite vite\n"_s);
    ProcessSnapshotService service(&runner, SnapshotSource::SystemTools);
    const TaskOutcome<QList<ProcessRow>> outcome = waitForOutcome(service.processes());
    QVERIFY(outcome.value);
    const QList<ProcessRow> expected{{123, 1, u"S+"_s, u"/usr/local/bin/node"_s, u"node server.js"_s},
                                     {124, 123, u"T"_s, u"vite"_s, u"vite"_s}};
    QCOMPARE(*outcome.value, expected);
    QCOMPARE(runner.calls().size(), 1);
    QCOMPARE(runner.calls().first().executablePath, u"/bin/ps"_s);
    QCOMPARE(runner.calls().first().arguments, ProcessSnapshotService::processListArguments());
    QCOMPARE(runner.calls().first().timeout, 3000ms);
}

void TestToolSnapshot::processListingErrorsReachTheCaller()
{
    FakeCommandRunner runner;
    runner.setError(CommandRunnerError::timedOut(u"/bin/ps"_s));
    ProcessSnapshotService service(&runner, SnapshotSource::SystemTools);
    const TaskOutcome<QList<ProcessRow>> outcome = waitForOutcome(service.processes());
    QCOMPARE(outcome.errorAs<CommandRunnerError>(), CommandRunnerError::timedOut(u"/bin/ps"_s));
}

void TestToolSnapshot::connectionsRunLsofAndParse()
{
    FakeCommandRunner runner;
    runner.setOutput(u"p42\ncnode\nf23\nn*:3000\nTST=LISTEN\n"_s);
    ConnectionSnapshotService service(&runner, SnapshotSource::SystemTools);
    const TaskOutcome<QList<ConnectionRow>> outcome = waitForOutcome(service.connections());
    QVERIFY(outcome.value);
    QCOMPARE(*outcome.value, (QList<ConnectionRow>{{42, u"node"_s, u"*:3000"_s, u"LISTEN"_s}}));
    QCOMPARE(runner.calls().size(), 1);
    QCOMPARE(runner.calls().first().executablePath, SystemTools::socketListTool());
    QCOMPARE(runner.calls().first().arguments, (QStringList{u"-nP"_s, u"-iTCP"_s, u"-FpcfnT"_s}));
    QCOMPARE(runner.calls().first().timeout, 3000ms);
}

void TestToolSnapshot::connectionListingFailures_data()
{
    QTest::addColumn<CommandRunnerError>("error");
    QTest::addColumn<bool>("emptyListing");
    // lsof says nothing and exits 1 when no TCP socket is open at all.
    QTest::newRow("no sockets at all") << lsofFailed(1, {}, {}) << true;
    QTest::newRow("exit 1 with a message") << lsofFailed(1, u"lsof: no pwd entry\n"_s, {}) << false;
    QTest::newRow("exit 1 with output") << lsofFailed(1, {}, u"p1\n"_s) << false;
    QTest::newRow("other status") << lsofFailed(2, {}, {}) << false;
    QTest::newRow("timed out") << CommandRunnerError::timedOut(SystemTools::socketListTool()) << false;
    QTest::newRow("launch failed") << CommandRunnerError::launchFailed(u"No such file"_s) << false;
}

void TestToolSnapshot::connectionListingFailures()
{
    QFETCH(CommandRunnerError, error);
    QFETCH(bool, emptyListing);
    FakeCommandRunner runner;
    runner.setError(error);
    ConnectionSnapshotService service(&runner, SnapshotSource::SystemTools);
    const TaskOutcome<QList<ConnectionRow>> outcome = waitForOutcome(service.connections());
    if (emptyListing) {
        QVERIFY(outcome.value);
        QVERIFY(outcome.value->isEmpty());
    } else {
        QCOMPARE(outcome.errorAs<CommandRunnerError>(), error);
    }
}

void TestToolSnapshot::listenersDeriveFromTheSocketListing()
{
    FakeCommandRunner runner;
    runner.setOutput(u"p42\ncnode\nf23\nn[::1]:5173\nTST=LISTEN\nf24\nn[::1]:5173->[::1]:50000\nTST=ESTABLISHED\n"_s);
    ListenerSnapshotService service(&runner, SnapshotSource::SystemTools);
    const TaskOutcome<QList<ListenerRow>> outcome = waitForOutcome(service.listeners());
    QVERIFY(outcome.value);
    QCOMPARE(*outcome.value, (QList<ListenerRow>{{42, u"::1"_s, 5173}}));
}

void TestToolSnapshot::workingDirectoriesAskOnlyForTheGivenProcesses()
{
    QTemporaryDir app;
    QVERIFY(app.isValid());
    FakeCommandRunner runner;
    runner.setOutput(u"p501\nfcwd\nn"_s + app.path() + u"\np502\nfcwd\nn/nonexistent/porthive/app\n"_s);
    ProcessSnapshotService service(&runner, SnapshotSource::SystemTools);
    const TaskOutcome<WorkingDirectories> outcome = waitForOutcome(service.workingDirectories({502, 501, 502}));
    QVERIFY(outcome.value);
    // The folder that no longer exists is dropped.
    QCOMPARE(*outcome.value, (WorkingDirectories{{501, app.path()}}));
    QCOMPARE(runner.calls().size(), 1);
    QCOMPARE(runner.calls().first().executablePath, SystemTools::socketListTool());
    QCOMPARE(runner.calls().first().arguments,
             (QStringList{u"-a"_s, u"-p"_s, u"501,502"_s, u"-d"_s, u"cwd"_s, u"-Fpn"_s}));
    QCOMPARE(runner.calls().first().timeout, 1000ms);
}

void TestToolSnapshot::emptyIdListRunsNothing()
{
    FakeCommandRunner runner;
    ProcessSnapshotService service(&runner, SnapshotSource::SystemTools);
    const TaskOutcome<WorkingDirectories> outcome = waitForOutcome(service.workingDirectories({}));
    QVERIFY(outcome.value);
    QVERIFY(outcome.value->isEmpty());
    QVERIFY(runner.calls().isEmpty());
}

void TestToolSnapshot::workingDirectoryFailures_data()
{
    QTest::addColumn<CommandRunnerError>("error");
    QTest::addColumn<bool>("keepsFolders");
    // One of the processes has gone: lsof lists the others and exits 1.
    QTest::newRow("a process vanished") << lsofFailed(1, {}, u"p501\nfcwd\nn@APP@\n"_s) << true;
    QTest::newRow("other status") << lsofFailed(2, u"lsof: bad\n"_s, u"p501\nfcwd\nn@APP@\n"_s) << false;
    QTest::newRow("timed out") << CommandRunnerError::timedOut(SystemTools::socketListTool()) << false;
    QTest::newRow("launch failed") << CommandRunnerError::launchFailed(u"No such file"_s) << false;
}

void TestToolSnapshot::workingDirectoryFailures()
{
    QFETCH(CommandRunnerError, error);
    QFETCH(bool, keepsFolders);
    QTemporaryDir app;
    QVERIFY(app.isValid());
    FakeCommandRunner runner;
    runner.setError(CommandRunnerError::failed(error.executablePath(), error.exitStatus(), error.standardError(),
                                               QString(error.standardOutput()).replace(u"@APP@"_s, app.path())));
    if (error.kind() != CommandRunnerError::Kind::Failed)
        runner.setError(error);
    ProcessSnapshotService service(&runner, SnapshotSource::SystemTools);
    const TaskOutcome<WorkingDirectories> outcome = waitForOutcome(service.workingDirectories({501, 502}));
    QVERIFY(outcome.value);
    const WorkingDirectories expected = keepsFolders ? WorkingDirectories{{501, app.path()}} : WorkingDirectories{};
    QCOMPARE(*outcome.value, expected);
}

void TestToolSnapshot::realToolsSeeANodeServer()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    NodeServer::Options options;
    options.workingDirectory = folder.path();
    NodeServer server(options);
    QVERIFY2(server.start(), qPrintable(server.errorText()));

    CommandRunner runner;
    ProcessSnapshotService processes(&runner, SnapshotSource::SystemTools);
    ConnectionSnapshotService connections(&runner, SnapshotSource::SystemTools);

    const TaskOutcome<QList<ProcessRow>> processRows = waitForOutcome(processes.processes());
    QVERIFY(processRows.value);
    const auto node = std::find_if(processRows.value->begin(), processRows.value->end(),
                                   [&](const ProcessRow& row) { return row.pid == server.pid(); });
    QVERIFY(node != processRows.value->end());
    QCOMPARE(node->parentPid, qint32(QCoreApplication::applicationPid()));
    QVERIFY2(node->commandLine.contains(u"server.listen(0"_s), qPrintable(node->commandLine));

    const ConnectionRow listener{qint32(server.pid()), u"node"_s, u"127.0.0.1:"_s + QString::number(server.port()),
                                 u"LISTEN"_s};
    const TaskOutcome<QList<ConnectionRow>> connectionRows = waitForOutcome(connections.connections());
    QVERIFY2(connectionRows.value, connectionRows.exception ? "the socket listing failed" : "");
    QVERIFY(connectionRows.value->contains(listener));

    const TaskOutcome<WorkingDirectories> folders =
        waitForOutcome(processes.workingDirectories({qint32(server.pid()), qint32(server.pid())}));
    QVERIFY(folders.value);
    QCOMPARE(folders.value->value(qint32(server.pid())), QDir(folder.path()).canonicalPath());
}

PORTHIVE_TEST_MAIN(TestToolSnapshot)
#include "tst_toolsnapshot.moc"
