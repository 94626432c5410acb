#include "base/apperror.h"
#include "control/actionerror.h"
#include "control/processactionservice.h"
#include "control/serverlogservice.h"
#include "platform/launching/childprocess.h"
#include "platform/launching/processsignals.h"
#include "platform/listings/processidentity.h"
#include "platform/system/clock.h"
#include "support/awaittask.h"
#include "support/childguard.h"
#include "support/processfiles.h"
#include "support/recordingworkspace.h"
#include "support/sleeperprocess.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using FileMap = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(FileMap)

using namespace ProcessFiles;

namespace {

constexpr int serverTimeout = 30000;
// Long enough to see the shell start; the tests that poll for the server's line do not wait out the full watch.
constexpr auto shortObservation = 200ms;

bool exists(qint32 pid)
{
    return ProcessSignals::send(pid, 0) != ESRCH;
}

LocalServer serverWith(QList<qint32> managed, qint32 pid = 4242)
{
    LocalServer server;
    server.pid = pid;
    server.managedProcessIDs = std::move(managed);
    return server;
}

// What the server line of the fixture dev server says about itself.
struct ServerLine
{
    qint32 pid = 0;
    qint32 ppid = 0;
    qint64 port = 0;
};

std::optional<ServerLine> serverLine(const ServerLogSession& session)
{
    static const QRegularExpression line(u"devserver pid=(\\d+) ppid=(\\d+) port=(\\d+)"_s);
    const QRegularExpressionMatch match = line.match(QString::fromUtf8(readFile(session.fileURL.toLocalFile())));
    if (!match.hasMatch())
        return std::nullopt;
    return ServerLine{match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toLongLong()};
}

} // namespace

class TestProcessActionService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void actionErrorTexts_data();
    void actionErrorTexts();

    void targetProcessIDs_data();
    void targetProcessIDs();
    void waitForExit();
    void signalsReachARealProcess();
    void vanishedProcessCountsAsSignalled();
    void failedSignalIsASystemError();
    void nothingToSignalFails_data();
    void reusedIdSurvivesEveryAction();
    void nothingToSignalFails();

    void prepareLaunch_data();
    void prepareLaunch();
    void missingCommandCreatesNoLog();
    void unusableLogFolderFailsWithLogUnavailable();

    void commandThatExitsZeroStarts();
    void commandThatExitsOneFails();
    void childEndedBySignalReportsTheSignal();
    void missingFolderFailsWithMinusOne();
    void childInheritsOnlyItsStandardStreams();

    void restartTwiceInARow();
    void restartPausedServer();
    void restartOfServerIgnoringTermFails();
    void restartWithoutProjectPathTouchesNothing();
    void restartWithoutCommandSendsNoSignal();
    void restartOfACommandNotReadExactlyRunsNothingElse();

    void reveal();

private:
    QString makeProject(const FileMap& files = {});
    // Starts the fixture server through the service and waits until it listens.
    void startDevServer(std::optional<LocalServer>& server, const QStringList& extraArguments = {});
    LocalServer serverFor(const ServerLogSession& session, const ServerLine& line, const QString& command) const;
    void track(qint32 pid) { ChildGuard::track(pid); }
    QStringList logFiles() const;
    // Watches a start as long as the application does, for the tests of what that watch decides.
    ProcessActionService fullyWatching() const { return ProcessActionService(m_logs, m_workspace); }

    std::unique_ptr<QTemporaryDir> m_scratch;
    std::shared_ptr<ServerLogService> m_logs;
    std::shared_ptr<RecordingWorkspace> m_workspace;
    std::unique_ptr<ProcessActionService> m_service;
    QString m_project;
};

void TestProcessActionService::initTestCase()
{
    // The login shell reads the (temporary) home's start-up files; give it an empty one.
    QVERIFY(writeFile(QDir::homePath() + u"/.zshrc"_s, {}));
    QVERIFY(QFile::exists(u"/bin/zsh"_s));
    ChildGuard::installTerminateHandler();
}

void TestProcessActionService::init()
{
    m_scratch = std::make_unique<QTemporaryDir>();
    QVERIFY(m_scratch->isValid());
    m_logs = std::make_shared<ServerLogService>(m_scratch->filePath(u"logs"_s), SystemClock::shared());
    m_workspace = std::make_shared<RecordingWorkspace>();
    m_service = std::make_unique<ProcessActionService>(m_logs, m_workspace, shortObservation);
    m_project = makeProject();
}

void TestProcessActionService::cleanup()
{
    // A grandchild left to an init that does not reap may linger as a zombie; that is gone enough here.
    for (const qint32 pid : ChildGuard::killAll())
        QTRY_VERIFY_WITH_TIMEOUT(!exists(pid) || processState(pid) == 'Z', serverTimeout);
    m_service.reset();
    m_logs.reset();
}

QString TestProcessActionService::makeProject(const FileMap& files)
{
    static int count = 0;
    const QString folder = m_scratch->filePath(u"project-%1"_s.arg(++count));
    if (!QDir().mkpath(folder))
        qFatal("cannot create a project folder");
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!writeFile(folder + u'/' + it.key(), it.value()))
            qFatal("cannot write a fixture file");
    }
    return folder;
}

QStringList TestProcessActionService::logFiles() const
{
    QStringList names = QDir(m_logs->rootDirectory()).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    return names;
}

LocalServer TestProcessActionService::serverFor(const ServerLogSession& session, const ServerLine& line,
                                                const QString& command) const
{
    LocalServer server;
    server.pid = line.pid;
    // As the scan lists it: the launcher first (when the shell did not replace itself), the listener last.
    if (line.ppid != ProcessSignals::ownProcessId())
        server.managedProcessIDs.append(line.ppid);
    server.managedProcessIDs.append(line.pid);
    server.port = line.port;
    server.rawCommandLine = command;
    server.projectPath = session.projectPath;
    return server;
}

void TestProcessActionService::startDevServer(std::optional<LocalServer>& server, const QStringList& extraArguments)
{
    const QString command = (QStringList{u"node"_s, TestHome::dataFile(u"devserver.js"_s)} + extraArguments).join(u' ');
    const ServerLogSession session =
        awaitTask(m_service->startProject(RememberedProject{m_project, command, command, RuntimeKind::Node, {}}));
    std::optional<ServerLine> line;
    QTRY_VERIFY_WITH_TIMEOUT((line = serverLine(session)).has_value(), serverTimeout);
    track(line->pid);
    if (line->ppid != ProcessSignals::ownProcessId())
        track(line->ppid);
    server = serverFor(session, *line, command);
}

void TestProcessActionService::actionErrorTexts_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("description");
    QTest::newRow("launch failed") << int(ActionError::Kind::LaunchFailed) << 1
                                   << u"Launch failed (1) \u2014 open logs for details"_s;
    QTest::newRow("launch could not start")
        << int(ActionError::Kind::LaunchFailed) << -1 << u"Launch failed (-1) \u2014 open logs for details"_s;
    QTest::newRow("launch ended by a signal")
        << int(ActionError::Kind::LaunchFailed) << 15 << u"Launch failed (15) \u2014 open logs for details"_s;
    QTest::newRow("missing project path")
        << int(ActionError::Kind::MissingProjectPath) << 0 << u"Project path unavailable"_s;
    QTest::newRow("missing launch command")
        << int(ActionError::Kind::MissingLaunchCommand) << 0 << u"Launch command unavailable"_s;
    QTest::newRow("log unavailable") << int(ActionError::Kind::LogUnavailable) << 0
                                     << u"Could not create a private Porthive log"_s;
    QTest::newRow("restart processes still running")
        << int(ActionError::Kind::RestartProcessesStillRunning) << 0
        << u"Restart stopped because part of the previous server is still running"_s;
    QTest::newRow("no process to signal")
        << int(ActionError::Kind::NoProcessToSignal) << 0 << u"Porthive may not signal the processes of this server"_s;
    QTest::newRow("command not replayable")
        << int(ActionError::Kind::CommandNotReplayable) << 0
        << u"Restart unavailable \u2014 the command that started it cannot be run again exactly"_s;
    QTest::newRow("launch too long") << int(ActionError::Kind::LaunchTooLong) << 0
                                     << u"Too long to run \u2014 a variable or argument is over the system's limit"_s;
    QTest::newRow("launch too large")
        << int(ActionError::Kind::LaunchTooLarge) << 0
        << u"Too large to run \u2014 the command and its variables are over the system's limit"_s;
    QTest::newRow("login shell unavailable") << int(ActionError::Kind::LoginShellUnavailable) << 0
                                             << u"Login shell unavailable \u2014 the command cannot run"_s;
}

void TestProcessActionService::actionErrorTexts()
{
    QFETCH(int, kind);
    QFETCH(int, status);
    QFETCH(QString, description);
    const auto make = [&] {
        switch (ActionError::Kind(kind)) {
        case ActionError::Kind::LaunchFailed:
            return ActionError::launchFailed(status, u"log"_s, {});
        case ActionError::Kind::MissingProjectPath:
            return ActionError::missingProjectPath();
        case ActionError::Kind::MissingLaunchCommand:
            return ActionError::missingLaunchCommand();
        case ActionError::Kind::LogUnavailable:
            return ActionError::logUnavailable();
        case ActionError::Kind::RestartProcessesStillRunning:
            return ActionError::restartProcessesStillRunning();
        case ActionError::Kind::NoProcessToSignal:
            return ActionError::noProcessToSignal();
        case ActionError::Kind::CommandNotReplayable:
            return ActionError::commandNotReplayable();
        case ActionError::Kind::LaunchTooLong:
            return ActionError::launchTooLong();
        case ActionError::Kind::LaunchTooLarge:
            return ActionError::launchTooLarge();
        case ActionError::Kind::LoginShellUnavailable:
            return ActionError::loginShellUnavailable();
        }
        Q_UNREACHABLE();
    };
    const ActionError error = make();
    QCOMPARE(error.description(), description);
    QCOMPARE(error.typeName(), u"ActionError"_s);
    if (ActionError::Kind(kind) == ActionError::Kind::LaunchFailed) {
        // An em dash with one space on each side, not a hyphen.
        const QString text = error.description();
        const qsizetype dash = text.indexOf(u") "_s) + 2;
        QCOMPARE(text.at(dash), QChar(0x2014));
        QCOMPARE(text.at(dash - 1), u' ');
        QCOMPARE(text.at(dash + 1), u' ');
    }
}

void TestProcessActionService::targetProcessIDs_data()
{
    QTest::addColumn<QList<qint32>>("managed");
    QTest::addColumn<qint32>("pid");
    QTest::addColumn<QList<qint32>>("expected");
    const qint32 own = ProcessSignals::ownProcessId();
    QTest::newRow("managed ids in order") << QList<qint32>{30, 10, 20} << 20 << QList<qint32>{30, 10, 20};
    QTest::newRow("pid when none are managed") << QList<qint32>{} << 42 << QList<qint32>{42};
    QTest::newRow("never 0, 1 or negative") << QList<qint32>{0, 1, -5, 7, -1} << 7 << QList<qint32>{7};
    QTest::newRow("never this program") << QList<qint32>{own, 9} << 9 << QList<qint32>{9};
    QTest::newRow("repeats once") << QList<qint32>{5, 6, 5, 6, 5} << 6 << QList<qint32>{5, 6};
    QTest::newRow("only this program") << QList<qint32>{own} << own << QList<qint32>{};
    QTest::newRow("init as the pid") << QList<qint32>{} << 1 << QList<qint32>{};
}

void TestProcessActionService::targetProcessIDs()
{
    QFETCH(QList<qint32>, managed);
    QFETCH(qint32, pid);
    QFETCH(QList<qint32>, expected);
    QCOMPARE(m_service->targetProcessIDs(serverWith(managed, pid)), expected);
}

void TestProcessActionService::waitForExit()
{
    QVERIFY(awaitTask(ProcessActionService::waitForProcessesToExit({}, 10s)));
    // Far above any process id the kernel hands out.
    QVERIFY(awaitTask(ProcessActionService::waitForProcessesToExit({0x7ffffff0}, 10s)));
    // This program exists, so the wait runs out.
    QVERIFY(!awaitTask(ProcessActionService::waitForProcessesToExit({ProcessSignals::ownProcessId()}, 200ms)));

    // Ended, but its parent (this test, as a terminal multiplexer might) has not collected it: it still answers
    // signals, yet runs nothing, so it counts as gone.
    const pid_t ended = ::fork();
    QVERIFY(ended >= 0);
    if (ended == 0)
        ::_exit(0);
    const auto collect = qScopeGuard([ended] { ::waitpid(ended, nullptr, 0); });
    QTRY_VERIFY(ProcessIdentity::hasEnded(qint32(ended)));
    QCOMPARE(ProcessSignals::send(qint32(ended), 0), 0);
    QVERIFY(awaitTask(ProcessActionService::waitForProcessesToExit({qint32(ended)}, 200ms)));
    QVERIFY(!ProcessIdentity::hasEnded(ProcessSignals::ownProcessId()));
}

void TestProcessActionService::signalsReachARealProcess()
{
    std::optional<LocalServer> server;
    startDevServer(server);
    QVERIFY(server);
    const qint32 pid = server->pid;

    m_service->pause(*server);
    QTRY_COMPARE_WITH_TIMEOUT(processState(pid), 'T', serverTimeout);
    m_service->resume(*server);
    QTRY_VERIFY_WITH_TIMEOUT(processState(pid) != 'T', serverTimeout);
    m_service->forceTerminate(*server);
    // Reaped at once: no zombie answers signal 0.
    QVERIFY(awaitTask(ProcessActionService::waitForProcessesToExit({pid}, 20s)));
}

void TestProcessActionService::vanishedProcessCountsAsSignalled()
{
    const LocalServer gone = serverWith({0x7ffffff0, 0x7ffffff1});
    m_service->forceTerminate(gone);
    m_service->pause(gone);
    m_service->resume(gone);
    m_service->sendSignal(SIGTERM, gone);
}

void TestProcessActionService::failedSignalIsASystemError()
{
    std::optional<LocalServer> server;
    startDevServer(server);
    QVERIFY(server);
    try {
        m_service->sendSignal(100000, *server);
        QFAIL("an invalid signal was accepted");
    } catch (const SystemError& error) {
        QCOMPARE(error.code(), EINVAL);
        QCOMPARE(error.description(), QString::fromLocal8Bit(std::strerror(EINVAL)));
    }
    QVERIFY(exists(server->pid));
}

void TestProcessActionService::nothingToSignalFails_data()
{
    QTest::addColumn<QList<qint32>>("managed");
    QTest::addColumn<qint32>("pid");
    const qint32 own = ProcessSignals::ownProcessId();
    QTest::newRow("this program") << QList<qint32>{own} << own;
    QTest::newRow("init") << QList<qint32>{} << 1;
    QTest::newRow("init and this program") << QList<qint32>{1, own} << own;
    QTest::newRow("no process id") << QList<qint32>{0, -7} << 0;
}

void TestProcessActionService::nothingToSignalFails()
{
    QFETCH(QList<qint32>, managed);
    QFETCH(qint32, pid);
    const LocalServer server = serverWith(managed, pid);
    const auto fails = [](const std::function<void()>& action) {
        try {
            action();
        } catch (const ActionError& error) {
            return error.kind() == ActionError::Kind::NoProcessToSignal;
        }
        return false;
    };
    QVERIFY(fails([&] { m_service->forceTerminate(server); }));
    QVERIFY(fails([&] { m_service->pause(server); }));
    QVERIFY(fails([&] { m_service->resume(server); }));
    QVERIFY(fails([&] { m_service->sendSignal(SIGTERM, server); }));
}

void TestProcessActionService::reusedIdSurvivesEveryAction()
{
    // A server as a scan listed it, with the start time of its process...
    const qint32 listed = SleeperProcess::start();
    QVERIFY(listed > 0);
    const quint64 listedStart = *ProcessIdentity::startTime(listed);
    LocalServer server = serverWith({listed}, listed);
    server.processStartTimes = {{listed, listedStart}};
    server.projectPath = m_project;
    server.rawCommandLine = u"true"_s;

    // ...whose process is gone by the time the user acts, its id taken by an unrelated process.
    SleeperProcess::stop(listed);
    const qint32 other = SleeperProcess::startWithPid(listed, listedStart);
    if (other == 0)
        QSKIP("this system does not let the test choose process ids");

    // The listed process counts as gone: every action succeeds and the other process gets no signal.
    m_service->pause(server);
    m_service->sendSignal(SIGTERM, server);
    m_service->forceTerminate(server);
    const ServerLogSession session = awaitTask(m_service->restart(server));
    QVERIFY(QFile::exists(session.fileURL.toLocalFile()));
    QVERIFY(SleeperProcess::isRunning(other));
    QVERIFY(processState(other) != 'T');
    SleeperProcess::stop(other);
}

void TestProcessActionService::prepareLaunch_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<FileMap>("files");
    QTest::addColumn<QString>("expected");

    const FileMap pnpmProject{{u"package.json"_s, R"({"scripts": {"dev": "vite"}})"}, {u"pnpm-lock.yaml"_s, {}}};
    QTest::newRow("replayable kept, trimmed") << u"  node server.js \n"_s << pnpmProject << u"node server.js"_s;
    QTest::newRow("bare dev becomes the project's command") << u"dev"_s << pnpmProject << u"pnpm dev"_s;
    QTest::newRow("process title becomes the project's command") << u"(node)"_s << pnpmProject << u"pnpm dev"_s;
    QTest::newRow("dev sub-script becomes the dev command") << u"pnpm dev:web"_s << pnpmProject << u"pnpm dev"_s;
    QTest::newRow("dev sub-script kept without a dev script")
        << u"pnpm dev:web"_s << FileMap{{u"pnpm-lock.yaml"_s, {}}} << u"pnpm dev:web"_s;
}

void TestProcessActionService::prepareLaunch()
{
    QFETCH(QString, command);
    QFETCH(FileMap, files);
    QFETCH(QString, expected);
    const QString project = makeProject(files);

    const PreparedLaunch prepared = awaitTask(m_service->prepareLaunch(command, project));
    QCOMPARE(prepared.command, expected);
    QCOMPARE(prepared.projectPath, project);
    QCOMPARE(prepared.session.projectPath, project);
    QVERIFY(prepared.logFile.isValid());
    QVERIFY(QFile::exists(prepared.session.fileURL.toLocalFile()));
    // Open for writing (and reading, for the log writer's cut), not appending, and never inherited.
    QVERIFY((::fcntl(prepared.logFile.get(), F_GETFL) & O_ACCMODE) == O_RDWR);
    QVERIFY(!(::fcntl(prepared.logFile.get(), F_GETFL) & O_APPEND));
    QVERIFY(::fcntl(prepared.logFile.get(), F_GETFD) & FD_CLOEXEC);
}

void TestProcessActionService::missingCommandCreatesNoLog()
{
    const QString project = makeProject({{u"package.json"_s, R"({"scripts": {"start": "node ."}})"}});
    try {
        awaitTask(m_service->startProject(RememberedProject{project, u"dev"_s, u"dev"_s, RuntimeKind::Node, {}}));
        QFAIL("a project without a command started");
    } catch (const ActionError& error) {
        QCOMPARE(error.kind(), ActionError::Kind::MissingLaunchCommand);
        QCOMPARE(error.description(), u"Launch command unavailable"_s);
    }
    QCOMPARE(logFiles(), QStringList());
}

void TestProcessActionService::unusableLogFolderFailsWithLogUnavailable()
{
    const QString blocker = m_scratch->filePath(u"blocker"_s);
    QVERIFY(writeFile(blocker, "x"));
    auto logs = std::make_shared<ServerLogService>(blocker + u"/logs"_s, SystemClock::shared());
    ProcessActionService service(logs, m_workspace);
    try {
        awaitTask(service.prepareLaunch(u"echo hi"_s, m_project));
        QFAIL("a launch was prepared without a log");
    } catch (const ActionError& error) {
        QCOMPARE(error.kind(), ActionError::Kind::LogUnavailable);
        QCOMPARE(error.description(), u"Could not create a private Porthive log"_s);
    }
}

void TestProcessActionService::commandThatExitsZeroStarts()
{
    ProcessActionService service = fullyWatching();
    const ServerLogSession session = awaitTask(
        service.startProject(RememberedProject{m_project, u"echo started in $PWD"_s, {}, RuntimeKind::Node, {}}));
    QCOMPARE(session.projectPath, m_project);
    QCOMPARE(readFile(session.fileURL.toLocalFile()).trimmed(), (u"started in "_s + m_project).toUtf8());
}

void TestProcessActionService::commandThatExitsOneFails()
{
    ProcessActionService service = fullyWatching();
    try {
        awaitTask(service.startProject(RememberedProject{
            m_project, u"echo boom; echo 'broken \x1b[31mred\x1b[0m' >&2; false"_s, {}, RuntimeKind::Node, {}}));
        QFAIL("a failing command counted as started");
    } catch (const ActionError& error) {
        QCOMPARE(error.kind(), ActionError::Kind::LaunchFailed);
        QCOMPARE(error.status(), 1);
        QCOMPARE(error.description(), u"Launch failed (1) \u2014 open logs for details"_s);
        // The cleaned tail: both streams, escape sequences gone.
        QCOMPARE(error.logText(), u"boom\nbroken red\n"_s);
        const QString path = error.session().fileURL.toLocalFile();
        QCOMPARE(readFile(path), QByteArray("boom\nbroken \x1b[31mred\x1b[0m\n"));
        QCOMPARE(logFiles(), QStringList{QFileInfo(path).fileName()});
    }
}

void TestProcessActionService::childEndedBySignalReportsTheSignal()
{
    ProcessActionService service = fullyWatching();
    try {
        awaitTask(service.startProject(
            RememberedProject{m_project, u"exec /bin/sh -c 'kill -TERM $$'"_s, {}, RuntimeKind::Node, {}}));
        QFAIL("a command ended by a signal counted as started");
    } catch (const ActionError& error) {
        QCOMPARE(error.kind(), ActionError::Kind::LaunchFailed);
        QCOMPARE(error.status(), ProcessSignals::terminateSignal());
    }
}

void TestProcessActionService::missingFolderFailsWithMinusOne()
{
    const QString missing = m_scratch->filePath(u"no-such-project"_s);
    try {
        awaitTask(m_service->startProject(RememberedProject{missing, u"node server.js"_s, {}, RuntimeKind::Node, {}}));
        QFAIL("a launch in a missing folder counted as started");
    } catch (const ActionError& error) {
        QCOMPARE(error.kind(), ActionError::Kind::LaunchFailed);
        QCOMPARE(error.status(), -1);
        QCOMPARE(error.description(), u"Launch failed (-1) \u2014 open logs for details"_s);
        QVERIFY2(error.logText().contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(error.logText()));
        QVERIFY(error.logText().contains(missing));
        // The reason is in the session's log, which stays.
        QCOMPARE(readFile(error.session().fileURL.toLocalFile()), error.logText().toUtf8() + '\n');
    }
}

void TestProcessActionService::childInheritsOnlyItsStandardStreams()
{
    // A descriptor this program leaves open for inheritance, the way a careless library might.
    const int leaked = ::open("/dev/null", O_RDONLY);
    QVERIFY(leaked >= 0);
    const auto closeLeaked = qScopeGuard([leaked] { ::close(leaked); });

    const ServerLogSession session = awaitTask(m_service->startProject(
        RememberedProject{m_project, u"echo child=$$; exec sleep 120"_s, {}, RuntimeKind::Node, {}}));
    const QString log = session.fileURL.toLocalFile();
    QTRY_VERIFY_WITH_TIMEOUT(readFile(log).contains("child="), serverTimeout);
    const qint32 pid = QString::fromUtf8(readFile(log)).section(u'=', 1).trimmed().toInt();
    QVERIFY(pid > 1);
    track(pid);

    const QDir fds(u"/proc/%1/fd"_s.arg(pid));
    QStringList names = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    QCOMPARE(names, (QStringList{u"0"_s, u"1"_s, u"2"_s}));
    QCOMPARE(QFile::symLinkTarget(fds.filePath(u"0"_s)), u"/dev/null"_s);
    QCOMPARE(QFile::symLinkTarget(fds.filePath(u"1"_s)), log);
    QCOMPARE(QFile::symLinkTarget(fds.filePath(u"2"_s)), log);
    // A session of its own: this program's terminal and its end do not reach it.
    QCOMPARE(statField(pid, 3), qint64(pid));
}

void TestProcessActionService::restartTwiceInARow()
{
    std::optional<LocalServer> server;
    startDevServer(server);
    QVERIFY(server);
    QSet<qint32> seen{server->pid};
    for (int round = 0; round < 2; ++round) {
        const qint32 oldPid = server->pid;
        const ServerLogSession session = awaitTask(m_service->restart(*server));
        QVERIFY(!exists(oldPid));
        QCOMPARE(session.projectPath, m_project);

        std::optional<ServerLine> line;
        QTRY_VERIFY_WITH_TIMEOUT((line = serverLine(session)).has_value(), serverTimeout);
        track(line->pid);
        QVERIFY(!seen.contains(line->pid));
        seen.insert(line->pid);
        QVERIFY(exists(line->pid));
        server = serverFor(session, *line, server->rawCommandLine);
    }
}

void TestProcessActionService::restartPausedServer()
{
    std::optional<LocalServer> server;
    startDevServer(server);
    QVERIFY(server);
    m_service->pause(*server);
    QTRY_COMPARE_WITH_TIMEOUT(processState(server->pid), 'T', serverTimeout);

    const ServerLogSession session = awaitTask(m_service->restart(*server));
    QVERIFY(!exists(server->pid));
    std::optional<ServerLine> line;
    QTRY_VERIFY_WITH_TIMEOUT((line = serverLine(session)).has_value(), serverTimeout);
    track(line->pid);
    QVERIFY(line->pid != server->pid);
}

void TestProcessActionService::restartOfServerIgnoringTermFails()
{
    std::optional<LocalServer> server;
    startDevServer(server, {u"--ignore-sigterm"_s});
    QVERIFY(server);
    const QStringList before = logFiles();
    try {
        awaitTask(m_service->restart(*server));
        QFAIL("a restart went ahead while the old server ran");
    } catch (const ActionError& error) {
        QCOMPARE(error.kind(), ActionError::Kind::RestartProcessesStillRunning);
        QCOMPARE(error.description(), u"Restart stopped because part of the previous server is still running"_s);
    }
    QCOMPARE(logFiles(), before);
    QVERIFY(exists(server->pid));
}

void TestProcessActionService::restartWithoutProjectPathTouchesNothing()
{
    std::optional<LocalServer> running;
    startDevServer(running);
    QVERIFY(running);
    LocalServer server = *running;
    server.projectPath.reset();
    const QStringList before = logFiles();
    try {
        awaitTask(m_service->restart(server));
        QFAIL("a server without a project folder was restarted");
    } catch (const ActionError& error) {
        QCOMPARE(error.kind(), ActionError::Kind::MissingProjectPath);
        QCOMPARE(error.description(), u"Project path unavailable"_s);
    }
    QCOMPARE(logFiles(), before);
    QVERIFY(exists(server.pid));
    QVERIFY(processState(server.pid) != 'T');
}

void TestProcessActionService::restartWithoutCommandSendsNoSignal()
{
    std::optional<LocalServer> running;
    startDevServer(running);
    QVERIFY(running);
    LocalServer server = *running;
    server.rawCommandLine = u"(node)"_s;
    const QStringList before = logFiles();
    try {
        awaitTask(m_service->restart(server));
        QFAIL("a server without a command was restarted");
    } catch (const ActionError& error) {
        QCOMPARE(error.kind(), ActionError::Kind::MissingLaunchCommand);
    }
    QCOMPARE(logFiles(), before);
    QVERIFY(exists(server.pid));
}

// A server whose command could not be read exactly is refused before anything is stopped; its project's dev
// script is not run in its place.
void TestProcessActionService::restartOfACommandNotReadExactlyRunsNothingElse()
{
    std::optional<LocalServer> running;
    startDevServer(running);
    QVERIFY(running);
    LocalServer server = *running;
    server.rawCommandLine.clear();
    QVERIFY(ProcessFiles::writeFile(m_project + u"/package.json"_s, R"({"scripts": {"dev": "node server.js"}})"));
    const auto removeManifest = qScopeGuard([this] { QFile::remove(m_project + u"/package.json"_s); });
    const QStringList before = logFiles();
    try {
        awaitTask(m_service->restart(server));
        QFAIL("a server whose command is unknown was restarted");
    } catch (const ActionError& error) {
        QCOMPARE(error.kind(), ActionError::Kind::CommandNotReplayable);
    }
    QCOMPARE(logFiles(), before);
    QVERIFY(exists(server.pid));
    QVERIFY(processState(server.pid) != 'T');
}

void TestProcessActionService::reveal()
{
    LocalServer server = serverWith({});
    QVERIFY(!m_service->revealProject(server));
    QCOMPARE(m_workspace->revealedPaths, QStringList());

    server.projectPath = m_project;
    QVERIFY(m_service->revealProject(server));
    QVERIFY(m_service->revealPath(u"/work/other"_s));
    QCOMPARE(m_workspace->revealedPaths, (QStringList{m_project, u"/work/other"_s}));

    // When nothing could be shown, the caller hears of it.
    m_workspace->answer = false;
    QVERIFY(!m_service->revealProject(server));
}

PORTHIVE_TEST_MAIN(TestProcessActionService)
#include "tst_processactionservice.moc"
