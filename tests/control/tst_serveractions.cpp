#include "base/apperror.h"
#include "control/actionerror.h"
#include "control/processactionservice.h"
#include "control/serverstore.h"
#include "support/storerig.h"
#include "support/testhome.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace StoreValues;

namespace {

using Delays = QList<std::chrono::milliseconds>;

enum class Signal
{
    Kill,
    Pause,
    Resume
};

const QString launchFailedOne = u"Launch failed (1) \u2014 open logs for details"_s;

LocalServer listedServer()
{
    LocalServer s = server(4242, 5173, u"/work/web"_s, u"npm run dev"_s, RuntimeKind::Vite);
    s.httpStatus = 200;
    s.activeConnectionCount = 3;
    return s;
}

TelemetryProperties listedServerProperties()
{
    return {{u"runtime_kind"_s, u"vite"_s}, {u"http_status"_s, u"200"_s}, {u"active_connection_count"_s, u"3"_s}};
}

AnalyticsEvent requested(ServerAnalyticsAction action, const LocalServer& s = listedServer())
{
    return AnalyticsEvent::serverActionRequested(action, s.runtimeKind, s.projectPath.has_value(),
                                                 s.httpStatus ? std::optional<int>(int(*s.httpStatus)) : std::nullopt);
}

void sendSignal(ServerStore& store, Signal signal, const LocalServer& target)
{
    switch (signal) {
    case Signal::Kill:
        store.forceTerminateServer(target);
        break;
    case Signal::Pause:
        store.pauseServer(target);
        break;
    case Signal::Resume:
        store.resumeServer(target);
        break;
    }
}

} // namespace

class TestServerActions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openURL_data();
    void openURL();
    void revealProject_data();
    void revealProject();
    void serverTelemetryProperties();

    void signalSucceeds_data();
    void signalSucceeds();
    void signalFails_data();
    void signalFails();
    void vanishedServerIsRefreshedAway();
    void serverThatMayNotBeSignalledFails_data();
    void serverThatMayNotBeSignalledFails();
    void signalsWaitForARestart_data();
    void signalsWaitForARestart();

    void restartSucceeds();
    void restartTwiceRunsOne();
    void restartWhileTheFolderStarts();
    void restartLaunchFails();
    void restartOtherFailures_data();
    void restartOtherFailures();
    void restartWithoutProjectPath();

    void failedActionDoesNotReleaseRefreshWaiters();

private:
    // A store whose list holds `listed`, with the events of getting there cleared.
    ServerStore& storeWithServer(StoreRig& rig, const LocalServer& listed = listedServer())
    {
        ServerStore& store = rig.makeStore();
        rig.detector->servers = {listed};
        rig.refresh();
        rig.analytics.events.clear();
        return store;
    }

    QTemporaryDir m_logs;
};

void TestServerActions::openURL_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::newRow("accepted") << true;
    QTest::newRow("refused") << false;
}

void TestServerActions::openURL()
{
    QFETCH(bool, accepted);
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    rig.workspace->answer = accepted;

    store.openServerURL(listedServer());
    QCOMPARE(rig.workspace->openedURLs, QList<QUrl>{listedServer().url});
    QCOMPARE(rig.analytics.events, QList<AnalyticsEvent>{requested(ServerAnalyticsAction::Open)});
    if (accepted) {
        QCOMPARE(store.refreshState(), RefreshState::idle());
        QVERIFY(rig.telemetry->messages.isEmpty());
        return;
    }
    QCOMPARE(store.refreshState(), RefreshState::failed(u"Could not open URL"_s));
    QCOMPARE(rig.telemetry->messages.size(), 1);
    QCOMPARE(rig.telemetry->messages.first().message, u"Server URL could not be opened"_s);
    QCOMPARE(rig.telemetry->messages.first().operation, TelemetryOperation::ServerOpen);
    QCOMPARE(rig.telemetry->messages.first().properties, listedServerProperties());
}

void TestServerActions::revealProject_data()
{
    QTest::addColumn<bool>("hasPath");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("shown") << true << true << true;
    QTest::newRow("nothing could show it") << true << false << false;
    QTest::newRow("no project path") << false << true << false;
}

void TestServerActions::revealProject()
{
    QFETCH(bool, hasPath);
    QFETCH(bool, shown);
    QFETCH(bool, succeeds);
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    rig.actions->revealAnswer = shown;
    LocalServer target = listedServer();
    if (!hasPath)
        target.projectPath.reset();

    store.revealServerProject(target);
    QCOMPARE(rig.actions->operations(), QStringList{u"revealProject"_s});
    QCOMPARE(rig.analytics.events, QList<AnalyticsEvent>{requested(ServerAnalyticsAction::RevealProject, target)});
    if (succeeds) {
        QCOMPARE(store.refreshState(), RefreshState::idle());
        QVERIFY(rig.telemetry->messages.isEmpty());
        return;
    }
    QCOMPARE(store.refreshState(), RefreshState::failed(u"Project path unavailable"_s));
    QCOMPARE(rig.telemetry->messages.size(), 1);
    QCOMPARE(rig.telemetry->messages.first().message, u"Server project path could not be revealed"_s);
    QCOMPARE(rig.telemetry->messages.first().operation, TelemetryOperation::ServerRevealProject);
    QCOMPARE(rig.telemetry->messages.first().properties, listedServerProperties());
}

void TestServerActions::serverTelemetryProperties()
{
    QCOMPARE(ServerStore::serverTelemetryProperties(listedServer()), listedServerProperties());
    LocalServer bare = server(1, 9222, std::nullopt, u"agent-browser"_s, RuntimeKind::AgentBrowser);
    QCOMPARE(ServerStore::serverTelemetryProperties(bare),
             (TelemetryProperties{{u"runtime_kind"_s, u"agentBrowser"_s},
                                  {u"http_status"_s, u"none"_s},
                                  {u"active_connection_count"_s, u"0"_s}}));
}

void TestServerActions::signalSucceeds_data()
{
    QTest::addColumn<Signal>("signal");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<ServerActionFeedback>("mark");
    QTest::addColumn<ServerAnalyticsAction>("action");
    QTest::addColumn<bool>("pausedBefore");
    QTest::addColumn<bool>("pausedAtOnce");

    QTest::newRow("force kill") << Signal::Kill << u"forceTerminate"_s << ServerActionFeedback::Killing
                                << ServerAnalyticsAction::ForceTerminate << false << false;
    QTest::newRow("pause") << Signal::Pause << u"pause"_s << ServerActionFeedback::Pausing
                           << ServerAnalyticsAction::Pause << false << true;
    QTest::newRow("resume") << Signal::Resume << u"resume"_s << ServerActionFeedback::Resuming
                            << ServerAnalyticsAction::Resume << true << false;
}

void TestServerActions::signalSucceeds()
{
    QFETCH(Signal, signal);
    QFETCH(QString, operation);
    QFETCH(ServerActionFeedback, mark);
    QFETCH(ServerAnalyticsAction, action);
    QFETCH(bool, pausedBefore);
    QFETCH(bool, pausedAtOnce);

    StoreRig rig(m_logs.path());
    LocalServer target = listedServer();
    target.isPaused = pausedBefore;
    ServerStore& store = storeWithServer(rig, target);
    rig.sleeper->hold = true;

    sendSignal(store, signal, target);
    // At once: the mark, the event and the optimistic pause flag.
    QCOMPARE(store.pendingServerActions(), (PendingServerActions{{target.id(), mark}}));
    QCOMPARE(rig.analytics.events, QList<AnalyticsEvent>{requested(action, target)});
    QCOMPARE(store.servers().first().isPaused, pausedAtOnce);

    // The signal goes out off the GUI thread, then the store settles before it scans again.
    QTRY_COMPARE(rig.sleeper->requests, Delays{250ms});
    QCOMPARE(rig.actions->calls().size(), 1);
    QCOMPARE(rig.actions->calls().first().operation, operation);
    QCOMPARE(rig.actions->calls().first().target, target.id());
    QVERIFY(!rig.actions->calls().first().onGuiThread);
    QCOMPARE(rig.detector->scanCount(), 1);

    rig.sleeper->release();
    QTRY_COMPARE(rig.detector->scanCount(), 2);
    QCOMPARE(store.refreshState(), RefreshState::idle());
    // A kill mark stays while the server is still listed; a pause or resume mark ends with the scan.
    const PendingServerActions left =
        signal == Signal::Kill ? PendingServerActions{{target.id(), mark}} : PendingServerActions{};
    QCOMPARE(store.pendingServerActions(), left);
}

void TestServerActions::signalFails_data()
{
    QTest::addColumn<Signal>("signal");
    QTest::addColumn<TelemetryOperation>("reportOperation");
    QTest::addColumn<bool>("pausedBefore");

    QTest::newRow("force kill") << Signal::Kill << TelemetryOperation::ServerForceTerminate << false;
    QTest::newRow("pause") << Signal::Pause << TelemetryOperation::ServerPause << false;
    QTest::newRow("resume") << Signal::Resume << TelemetryOperation::ServerResume << true;
}

void TestServerActions::signalFails()
{
    QFETCH(Signal, signal);
    QFETCH(TelemetryOperation, reportOperation);
    QFETCH(bool, pausedBefore);

    StoreRig rig(m_logs.path());
    LocalServer target = listedServer();
    target.isPaused = pausedBefore;
    ServerStore& store = storeWithServer(rig, target);
    rig.actions->signalError = EPERM;

    sendSignal(store, signal, target);
    const QString text = SystemError(EPERM).description();
    QTRY_COMPARE(store.refreshState(), RefreshState::failed(text));
    QVERIFY(store.pendingServerActions().isEmpty());
    // The row shows again what the server was before.
    QCOMPARE(store.servers(), QList<LocalServer>{target});
    QCOMPARE(rig.telemetry->errors.size(), 1);
    QCOMPARE(rig.telemetry->errors.first().typeName, u"POSIXError"_s);
    QCOMPARE(rig.telemetry->errors.first().operation, reportOperation);
    QCOMPARE(rig.telemetry->errors.first().properties, listedServerProperties());
    // No settle and no refresh after a failure.
    QVERIFY(rig.sleeper->requests.isEmpty());
    QCOMPARE(rig.detector->scanCount(), 1);
}

void TestServerActions::vanishedServerIsRefreshedAway()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    // The process is already gone: signalling it counts as done, and the next scan no longer lists it.
    rig.detector->servers = {};
    store.forceTerminateServer(listedServer());
    QTRY_COMPARE(rig.detector->scanCount(), 2);
    QVERIFY(store.servers().isEmpty());
    QVERIFY(store.pendingServerActions().isEmpty());
    QCOMPARE(store.refreshState(), RefreshState::idle());
}

void TestServerActions::serverThatMayNotBeSignalledFails_data()
{
    QTest::addColumn<Signal>("signal");
    QTest::addColumn<TelemetryOperation>("reportOperation");
    QTest::newRow("force kill") << Signal::Kill << TelemetryOperation::ServerForceTerminate;
    QTest::newRow("pause") << Signal::Pause << TelemetryOperation::ServerPause;
    QTest::newRow("resume") << Signal::Resume << TelemetryOperation::ServerResume;
}

void TestServerActions::serverThatMayNotBeSignalledFails()
{
    QFETCH(Signal, signal);
    QFETCH(TelemetryOperation, reportOperation);

    // The real action service, for a server that is this very program (as pid 1 would be in a container).
    StoreRig rig(m_logs.path());
    ServerStore::Services services = rig.services();
    services.actions = std::make_shared<ProcessActionService>(rig.logs, rig.workspace);
    rig.store = std::make_unique<ServerStore>(services);
    LocalServer target = listedServer();
    target.pid = qint32(QCoreApplication::applicationPid());
    target.managedProcessIDs = {target.pid};
    rig.detector->servers = {target};
    rig.refresh();

    sendSignal(*rig.store, signal, target);
    // A clear failure, and no mark left on the row for ever.
    QTRY_COMPARE(rig.store->refreshState(), RefreshState::failed(ActionError::noProcessToSignal().description()));
    QVERIFY(rig.store->pendingServerActions().isEmpty());
    QCOMPARE(rig.store->servers(), QList<LocalServer>{target});
    QCOMPARE(rig.telemetry->errors.size(), 1);
    QCOMPARE(rig.telemetry->errors.first().operation, reportOperation);
    QCOMPARE(rig.detector->scanCount(), 1);
}

void TestServerActions::signalsWaitForARestart_data()
{
    QTest::addColumn<Signal>("signal");
    QTest::newRow("force kill") << Signal::Kill;
    QTest::newRow("pause") << Signal::Pause;
    QTest::newRow("resume") << Signal::Resume;
}

void TestServerActions::signalsWaitForARestart()
{
    QFETCH(Signal, signal);
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    rig.actions->holdLaunches = true;

    auto restart = store.restartServer(listedServer());
    QCOMPARE(rig.actions->waitingLaunches(), 1);
    sendSignal(store, signal, listedServer());
    // Refused: the restart keeps its mark and no signal goes out.
    QCOMPARE(store.pendingServerActions(),
             (PendingServerActions{{listedServer().id(), ServerActionFeedback::Restarting}}));
    QCOMPARE(store.servers(), QList<LocalServer>{listedServer()});
    QCOMPARE(rig.analytics.events, QList<AnalyticsEvent>{requested(ServerAnalyticsAction::Restart)});

    rig.actions->releaseLaunches();
    awaitTask(std::move(restart));
    QCOMPARE(rig.actions->operations(), QStringList{u"restart"_s});
    QVERIFY(store.pendingServerActions().isEmpty());
}

void TestServerActions::restartSucceeds()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    const ServerLogSession session = rig.sessionWithLog(u"/work/web"_s, "\x1b[32mready\x1b[0m on 5173\r\n");
    rig.actions->launchHandler = [session](const QString&) {
        return session;
    };
    rig.actions->holdLaunches = true;
    rig.sleeper->hold = true;
    const QString key = listedServer().id();

    auto restart = store.restartServer(listedServer());
    QCOMPARE(store.pendingServerActions(), (PendingServerActions{{key, ServerActionFeedback::Restarting}}));
    QCOMPARE(store.activeRestartServerIDs(), QSet<QString>{key});
    QCOMPARE(store.activeProjectActionPaths(), QSet<QString>{u"/work/web"_s});
    QCOMPARE(rig.analytics.events, QList<AnalyticsEvent>{requested(ServerAnalyticsAction::Restart)});

    // A scan during the restart keeps the mark.
    rig.refresh();
    QCOMPARE(store.pendingServerActions(), (PendingServerActions{{key, ServerActionFeedback::Restarting}}));

    rig.actions->releaseLaunches();
    // The mark and the guards go before the settle; the session and its preview are in place.
    QTRY_COMPARE(rig.sleeper->requests, Delays{750ms});
    QVERIFY(store.pendingServerActions().isEmpty());
    QVERIFY(store.activeRestartServerIDs().isEmpty());
    QVERIFY(store.activeProjectActionPaths().isEmpty());
    QCOMPARE(store.logSessionsByProjectPath(), (LogSessionsByProjectPath{{u"/work/web"_s, session}}));
    QCOMPARE(store.logPreviewsByProjectPath(), (ProjectTexts{{u"/work/web"_s, u"ready on 5173"_s}}));
    const int scansBefore = rig.detector->scanCount();

    rig.sleeper->release();
    awaitTask(std::move(restart));
    QCOMPARE(rig.detector->scanCount(), scansBefore + 1);
    QCOMPARE(store.refreshState(), RefreshState::idle());
}

void TestServerActions::restartTwiceRunsOne()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    rig.actions->holdLaunches = true;

    auto first = store.restartServer(listedServer());
    auto second = store.restartServer(listedServer());
    QVERIFY(second.isReady());
    QCOMPARE(rig.actions->count(u"restart"_s), 1);
    QCOMPARE(rig.analytics.events.size(), 1);

    rig.actions->releaseLaunches();
    awaitTask(std::move(first));
    QCOMPARE(rig.actions->count(u"restart"_s), 1);
}

void TestServerActions::restartWhileTheFolderStarts()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    rig.actions->holdLaunches = true;

    auto start = store.startRememberedProject(project(u"/work/web"_s));
    QTRY_COMPARE(rig.actions->waitingLaunches(), 1);
    auto restart = store.restartServer(listedServer());
    QVERIFY(restart.isReady());
    QCOMPARE(rig.actions->operations(), QStringList{u"startProject"_s});
    QVERIFY(store.pendingServerActions().isEmpty());
    QCOMPARE(store.refreshState(), RefreshState::idle());
    // Refused without a word: no event and no report.
    QVERIFY(rig.eventsNamed(u"porthive_server_action_requested"_s).isEmpty());
    QVERIFY(rig.telemetry->messages.isEmpty());

    rig.actions->releaseLaunches();
    awaitTask(std::move(start));
}

void TestServerActions::restartLaunchFails()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    const ServerLogSession session = rig.sessionWithLog(u"/work/web"_s, "> vite\nError: port in use\n");
    rig.actions->launchHandler = [session](const QString&) -> ServerLogSession {
        throw ActionError::launchFailed(1, u"Error: port in use"_s, session);
    };

    // The old server was stopped before the launch failed: it is gone from the next scan.
    rig.detector->servers.clear();

    awaitTask(store.restartServer(listedServer()));
    QCOMPARE(store.refreshState(), RefreshState::failed(launchFailedOne));
    QVERIFY(store.servers().isEmpty());
    QVERIFY(store.pendingServerActions().isEmpty());
    QVERIFY(store.activeRestartServerIDs().isEmpty());
    QVERIFY(store.activeProjectActionPaths().isEmpty());
    // The failed launch's output is what the project's log and preview show.
    QCOMPARE(store.logSessionsByProjectPath(), (LogSessionsByProjectPath{{u"/work/web"_s, session}}));
    QCOMPARE(store.logPreviewsByProjectPath(), (ProjectTexts{{u"/work/web"_s, u"Error: port in use"_s}}));
    QCOMPARE(rig.telemetry->messages.size(), 1);
    QCOMPARE(rig.telemetry->messages.first().operation, TelemetryOperation::ServerRestart);
    QCOMPARE(rig.telemetry->messages.first().properties,
             (TelemetryProperties{{u"failure_category"_s, u"launch_failed"_s}, {u"exit_code"_s, u"1"_s}}));
    // The list follows at once, without the settle of a started server.
    QVERIFY(rig.sleeper->requests.isEmpty());
    QCOMPARE(rig.detector->scanCount(), 2);
}

void TestServerActions::restartOtherFailures_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("category");
    // Whether the old server was sent anything, so the list must be read again.
    QTest::addColumn<bool>("stopped");

    QTest::newRow("old processes still run")
        << 0 << u"Restart stopped because part of the previous server is still running"_s
        << u"restart_processes_still_running"_s << true;
    QTest::newRow("no launch command") << 1 << u"Launch command unavailable"_s << u"missing_launch_command"_s << false;
    QTest::newRow("signal failed") << 2 << SystemError(EPERM).description() << u"unknown"_s << true;
    QTest::newRow("command not read exactly")
        << 3 << u"Restart unavailable \u2014 the command that started it cannot be run again exactly"_s
        << u"command_not_replayable"_s << false;
}

void TestServerActions::restartOtherFailures()
{
    QFETCH(int, which);
    QFETCH(QString, text);
    QFETCH(QString, category);
    QFETCH(bool, stopped);

    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    rig.actions->launchHandler = [which](const QString&) -> ServerLogSession {
        if (which == 0)
            throw ActionError::restartProcessesStillRunning();
        if (which == 1)
            throw ActionError::missingLaunchCommand();
        if (which == 3)
            throw ActionError::commandNotReplayable();
        throw SystemError(EPERM, u"kill"_s);
    };

    awaitTask(store.restartServer(listedServer()));
    QCOMPARE(store.refreshState(), RefreshState::failed(text));
    QVERIFY(store.logSessionsByProjectPath().isEmpty());
    QVERIFY(store.pendingServerActions().isEmpty());
    QVERIFY(store.activeProjectActionPaths().isEmpty());
    QCOMPARE(rig.telemetry->messages.size(), 1);
    QCOMPARE(rig.telemetry->messages.first().operation, TelemetryOperation::ServerRestart);
    QCOMPARE(rig.telemetry->messages.first().properties.value(u"failure_category"_s), category);
    QVERIFY(rig.sleeper->requests.isEmpty());
    QCOMPARE(rig.detector->scanCount(), stopped ? 2 : 1);
}

void TestServerActions::restartWithoutProjectPath()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    LocalServer target = listedServer();
    target.projectPath.reset();

    awaitTask(store.restartServer(target));
    QCOMPARE(store.refreshState(), RefreshState::failed(u"Project path unavailable"_s));
    QVERIFY(rig.actions->operations().isEmpty());
    QVERIFY(rig.analytics.events.isEmpty());
    QCOMPARE(rig.telemetry->messages.size(), 1);
    QCOMPARE(rig.telemetry->messages.first().operation, TelemetryOperation::ServerRestart);
    QCOMPARE(rig.telemetry->messages.first().properties.value(u"failure_category"_s), u"missing_project_path"_s);
}

void TestServerActions::failedActionDoesNotReleaseRefreshWaiters()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithServer(rig);
    rig.detector->hold = true;
    rig.workspace->answer = false;

    auto running = store.refresh();
    const int scan = rig.detector->scanCount();
    // A failed action rewrites the refresh state while the scan runs...
    store.openServerURL(listedServer());
    QCOMPARE(store.refreshState(), RefreshState::failed(u"Could not open URL"_s));
    // ...yet a refresh asked for now neither scans again nor returns before the running scan ends.
    auto waiting = store.refresh();
    QCOMPARE(rig.detector->scanCount(), scan);
    QVERIFY(!waiting.isReady());

    const QList<LocalServer> found{listedServer(), server(7, 8080)};
    rig.detector->finish(scan, found);
    awaitTask(std::move(waiting));
    QVERIFY(running.isReady());
    QCOMPARE(rig.detector->scanCount(), scan);
    QCOMPARE(store.servers(), found);
    QCOMPARE(store.refreshState(), RefreshState::idle());
}

PORTHIVE_TEST_MAIN(TestServerActions)
#include "tst_serveractions.moc"
