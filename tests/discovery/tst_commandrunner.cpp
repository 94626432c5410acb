#include "discovery/commandrunner.h"
#include "platform/listings/snapshotplatform.h"
#include "support/awaittask.h"
#include "support/testhome.h"

#include <QCoroTask>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <vector>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(CommandRunnerError::Kind)

namespace {

const QString shell = u"/bin/sh"_s;

struct RunOutcome
{
    std::optional<CommandOutput> output;
    std::optional<CommandRunnerError> error;
};

RunOutcome runTool(const QString& path, const QStringList& arguments, std::chrono::milliseconds timeout = 60s)
{
    CommandRunner runner;
    const TaskOutcome<CommandOutput> outcome = waitForOutcome(runner.run(path, arguments, timeout));
    return {outcome.value, outcome.errorAs<CommandRunnerError>()};
}

RunOutcome runScript(const QString& script, std::chrono::milliseconds timeout = 60s)
{
    return runTool(shell, {u"-c"_s, script}, timeout);
}

bool processExists(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

} // namespace

class TestCommandRunner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void successReturnsBothStreams_data();
    void successReturnsBothStreams();
    void nonZeroExitFails();
    void killedBySignalFails();
    void launchFailures_data();
    void launchFailures();
    void overrunIsTerminated();
    void exitAfterTerminationStillTimesOut();
    void toolIgnoringTerminationIsKilled();
    void largeOutputOnBothStreams();
    void invalidUtf8GivesEmptyText_data();
    void invalidUtf8GivesEmptyText();
    void argumentsPassedVerbatim();
    void runsUnderUtf8Locale();
    void concurrentRunsKeepTheirOwnOutput();
    void errorDescriptions_data();
    void errorDescriptions();

private:
    // Scripts write their pid here, so a test can check (and cleanup ensure) the tool is gone.
    QString pidFile() const { return m_dir.filePath(u"pid"_s); }
    qint64 writtenPid() const;

    QTemporaryDir m_dir;
};

void TestCommandRunner::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove(pidFile());
}

void TestCommandRunner::cleanup()
{
    if (const qint64 pid = writtenPid(); pid > 0 && processExists(pid))
        ::kill(pid_t(pid), SIGKILL);
}

qint64 TestCommandRunner::writtenPid() const
{
    QFile file(pidFile());
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().trimmed().toLongLong();
}

void TestCommandRunner::successReturnsBothStreams_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("standardOutput");
    QTest::addColumn<QString>("standardError");
    QTest::newRow("silent") << u"exit 0"_s << QString() << QString();
    QTest::newRow("both streams") << u"printf 'out\\n'; printf 'err' >&2"_s << u"out\n"_s << u"err"_s;
    QTest::newRow("non-ascii") << u"printf 'caf\\303\\251 /Users/j\\303\\274rgen'"_s << u"café /Users/jürgen"_s
                               << QString();
    QTest::newRow("error text on success") << u"printf 'warning\\n' >&2; exit 0"_s << QString() << u"warning\n"_s;
}

void TestCommandRunner::successReturnsBothStreams()
{
    QFETCH(QString, script);
    QFETCH(QString, standardOutput);
    QFETCH(QString, standardError);
    const RunOutcome outcome = runScript(script);
    QVERIFY2(outcome.output, outcome.error ? qPrintable(outcome.error->description()) : "");
    QCOMPARE(outcome.output->standardOutput, standardOutput);
    QCOMPARE(outcome.output->standardError, standardError);
    QCOMPARE(outcome.output->exitStatus, 0);
}

void TestCommandRunner::nonZeroExitFails()
{
    const RunOutcome outcome = runScript(u"printf 'partial'; printf 'bad\\n' >&2; exit 3"_s);
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->kind(), CommandRunnerError::Kind::Failed);
    QCOMPARE(outcome.error->executablePath(), shell);
    QCOMPARE(outcome.error->exitStatus(), 3);
    QCOMPARE(outcome.error->standardError(), u"bad\n"_s);
    QCOMPARE(outcome.error->description(), u"/bin/sh exited 3: bad\n"_s);
    // Kept beside the error for callers that can use a partial listing.
    QCOMPARE(outcome.error->standardOutput(), u"partial"_s);
}

void TestCommandRunner::killedBySignalFails()
{
    // A crash is never a success: it fails with the signal's number.
    const RunOutcome outcome = runScript(u"kill -KILL $$"_s);
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->kind(), CommandRunnerError::Kind::Failed);
    QCOMPARE(outcome.error->exitStatus(), SIGKILL);
}

void TestCommandRunner::launchFailures_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("missing") << u"/nonexistent/porthive-tool"_s;
    QTest::newRow("not executable") << QString(); // a plain file, made in the test
    QTest::newRow("folder") << u"/"_s;
}

void TestCommandRunner::launchFailures()
{
    QFETCH(QString, path);
    if (path.isEmpty()) {
        path = m_dir.filePath(u"plain"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho never\n");
    }
    const RunOutcome outcome = runTool(path, {});
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->kind(), CommandRunnerError::Kind::LaunchFailed);
    QVERIFY(!outcome.error->message().isEmpty());
    QCOMPARE(outcome.error->description(), outcome.error->message());
}

void TestCommandRunner::overrunIsTerminated()
{
    const RunOutcome outcome = runScript(u"echo $$ > '"_s + pidFile() + u"'; printf 'early'; exec sleep 600"_s, 300ms);
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->kind(), CommandRunnerError::Kind::TimedOut);
    QCOMPARE(outcome.error->description(), u"/bin/sh timed out"_s);
    QVERIFY(writtenPid() > 0);
    QVERIFY(!processExists(writtenPid()));
}

void TestCommandRunner::exitAfterTerminationStillTimesOut()
{
    // The tool is still running when the limit fires and then ends with status 0 on SIGTERM.
    const RunOutcome outcome =
        runScript(u"echo $$ > '"_s + pidFile() + u"'; trap 'kill $!; exit 0' TERM; sleep 600 & wait"_s, 300ms);
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->kind(), CommandRunnerError::Kind::TimedOut);
}

void TestCommandRunner::toolIgnoringTerminationIsKilled()
{
    // SIGTERM is ignored (and the ignoring survives the exec), as by lsof stuck on a hung mount: only the kill
    // after the grace period ends the run.
    const RunOutcome outcome = runScript(u"trap '' TERM; echo $$ > '"_s + pidFile() + u"'; exec sleep 100000"_s, 300ms);
    QVERIFY(outcome.error);
    QCOMPARE(outcome.error->kind(), CommandRunnerError::Kind::TimedOut);
    QVERIFY(writtenPid() > 0);
    QVERIFY(!processExists(writtenPid()));
}

void TestCommandRunner::largeOutputOnBothStreams()
{
    // Standard error fills first: a runner that read only one pipe, or only at the end, would deadlock.
    const RunOutcome outcome =
        runScript(u"head -c 8388608 /dev/zero | tr '\\000' e >&2; head -c 8388608 /dev/zero | tr '\\000' o"_s);
    QVERIFY2(outcome.output, outcome.error ? qPrintable(outcome.error->description()) : "");
    QCOMPARE(outcome.output->standardOutput.size(), 8388608);
    QCOMPARE(outcome.output->standardError.size(), 8388608);
    QVERIFY(outcome.output->standardOutput.count(u'o') == 8388608);
    QVERIFY(outcome.output->standardError.count(u'e') == 8388608);
}

void TestCommandRunner::invalidUtf8GivesEmptyText_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("standardOutput");
    QTest::addColumn<QString>("standardError");
    QTest::newRow("standard output") << u"printf 'good \\377\\376 bad'; printf 'kept' >&2"_s << QString() << u"kept"_s;
    QTest::newRow("standard error") << u"printf 'kept'; printf 'latin1 caf\\351' >&2"_s << u"kept"_s << QString();
    QTest::newRow("cut character") << u"printf 'caf\\303'"_s << QString() << QString();
}

void TestCommandRunner::invalidUtf8GivesEmptyText()
{
    QFETCH(QString, script);
    QFETCH(QString, standardOutput);
    QFETCH(QString, standardError);
    const RunOutcome outcome = runScript(script);
    QVERIFY(outcome.output);
    QCOMPARE(outcome.output->standardOutput, standardOutput);
    QCOMPARE(outcome.output->standardError, standardError);
}

void TestCommandRunner::argumentsPassedVerbatim()
{
    const RunOutcome outcome =
        runTool(shell, {u"-c"_s, u"printf '%s|' \"$@\""_s, u"sh"_s, u"a b"_s, u"$HOME"_s, u"*"_s, u"'q'"_s, QString()});
    QVERIFY(outcome.output);
    QCOMPARE(outcome.output->standardOutput, u"a b|$HOME|*|'q'||"_s);
}

void TestCommandRunner::runsUnderUtf8Locale()
{
    qputenv("LC_ALL", "C");
    const RunOutcome outcome = runScript(u"printf '%s' \"$LC_ALL\""_s);
    qunsetenv("LC_ALL");
    QVERIFY(outcome.output);
    QCOMPARE(outcome.output->standardOutput, SnapshotPlatform::utf8Locale());
}

void TestCommandRunner::concurrentRunsKeepTheirOwnOutput()
{
    CommandRunner runner;
    std::vector<QCoro::Task<CommandOutput>> runs;
    for (int i = 0; i < 6; ++i) {
        // The later ones finish first.
        const QString script = u"sleep 0.%1; printf %2"_s.arg(6 - i).arg(i);
        runs.push_back(runner.run(shell, {u"-c"_s, script}, 60s));
    }
    for (size_t i = 0; i < runs.size(); ++i)
        QCOMPARE(QCoro::waitFor(runs[i]).standardOutput, QString::number(qulonglong(i)));
}

void TestCommandRunner::errorDescriptions_data()
{
    QTest::addColumn<CommandRunnerError>("error");
    QTest::addColumn<QString>("description");
    QTest::newRow("launch") << CommandRunnerError::launchFailed(u"The file doesn’t exist."_s)
                            << u"The file doesn’t exist."_s;
    QTest::newRow("timeout") << CommandRunnerError::timedOut(u"/usr/sbin/lsof"_s) << u"/usr/sbin/lsof timed out"_s;
    QTest::newRow("negative status") << CommandRunnerError::failed(u"/bin/ps"_s, -2, u"x\n"_s)
                                     << u"/bin/ps exited -2: x\n"_s;
    QTest::newRow("untrimmed error text") << CommandRunnerError::failed(u"/bin/ps"_s, 1, u"  two\nlines\n\n"_s)
                                          << u"/bin/ps exited 1:   two\nlines\n\n"_s;
}

void TestCommandRunner::errorDescriptions()
{
    QFETCH(CommandRunnerError, error);
    QFETCH(QString, description);
    QCOMPARE(error.description(), description);
    QCOMPARE(error.typeName(), u"CommandRunnerError"_s);
}

PORTHIVE_TEST_MAIN(TestCommandRunner)
#include "tst_commandrunner.moc"
