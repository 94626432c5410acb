#include "control/actionerror.h"
#include "control/processactionservice.h"
#include "control/serverstore.h"
#include "support/storerig.h"
#include "support/testhome.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using namespace StoreValues;

namespace {

using Delays = QList<std::chrono::milliseconds>;

const QString web = u"/work/web"_s;

RememberedProject webProject()
{
    return project(web, baseTime, u"pnpm dev"_s, RuntimeKind::Vite);
}

AnalyticsEvent requested(ProjectAnalyticsAction action)
{
    return AnalyticsEvent::projectActionRequested(action, RuntimeKind::Vite);
}

bool appendToFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(bytes) == bytes.size();
}

} // namespace

class TestProjectActions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startScansFirstThenLaunches();
    void startFindsItRunning();
    void startRefreshesAfterFailedWaits();
    void startSeesOnlyAScanBegunAfterIt_data();
    void startSeesOnlyAScanBegunAfterIt();
    void startTwiceLaunchesOnce();
    void startLaunchFails();
    void startOtherFailures_data();
    void startOtherFailures();

    void forgetWaitsForTheStart();
    void forgetWithoutSessionDeletesNoFile();
    void reveal_data();
    void reveal();

    void outdatedPreviewIsDropped();
    void unreadableLogPreview();
    void namedPipeAtTheLogHoldsUpNoStart();
    void previewFollowsTheLog();

private:
    // A store that remembers `webProject()` and another project.
    ServerStore& storeWithProjects(StoreRig& rig)
    {
        rig.defaults->setValue(ServerStore::rememberedProjectsKey,
                               ServerStore::encodeRememberedProjects({webProject(), project(u"/work/api"_s)}));
        return rig.makeStore();
    }

    QTemporaryDir m_logs;
};

void TestProjectActions::startScansFirstThenLaunches()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    // An earlier failure's text goes when the project is started again.
    rig.actions->revealAnswer = false;
    store.revealRememberedProject(webProject());
    QVERIFY(store.projectErrors().contains(web));
    rig.actions->revealAnswer = true;
    rig.analytics.events.clear();
    const ServerLogSession session = rig.sessionWithLog(web, "VITE ready in 300 ms\n");
    rig.actions->launchHandler = [session](const QString&) {
        return session;
    };
    rig.detector->hold = true;

    auto start = store.startRememberedProject(webProject());
    QCOMPARE(store.pendingProjectActions(), (PendingProjectActions{{web, ProjectActionFeedback::Starting}}));
    QCOMPARE(store.activeProjectActionPaths(), QSet<QString>{web});
    QVERIFY(store.projectErrors().isEmpty());
    QCOMPARE(rig.analytics.events, QList<AnalyticsEvent>{requested(ProjectAnalyticsAction::Start)});
    // Nothing is launched before a scan has shown that the project does not run.
    QCOMPARE(rig.detector->scanCount(), 1);
    QCOMPARE(rig.actions->count(u"startProject"_s), 0);

    rig.detector->finish(1, {});
    QTRY_COMPARE(rig.detector->scanCount(), 2);
    QCOMPARE(rig.actions->count(u"startProject"_s), 1);
    QCOMPARE(rig.sleeper->requests, Delays{750ms});
    QVERIFY(store.pendingProjectActions().isEmpty());
    QVERIFY(store.activeProjectActionPaths().isEmpty());
    QCOMPARE(store.logSessionsByProjectPath(), (LogSessionsByProjectPath{{web, session}}));
    QCOMPARE(store.logPreviewsByProjectPath(), (ProjectTexts{{web, u"VITE ready in 300 ms"_s}}));

    rig.detector->finish(2, {});
    QTRY_COMPARE(rig.detector->scanCount(), 3);
    QCOMPARE(rig.sleeper->requests, (Delays{750ms, 3000ms}));
    rig.detector->finish(3, {server(9, 5173, web)});
    awaitTask(std::move(start));
    QCOMPARE(rig.actions->count(u"startProject"_s), 1);
    QVERIFY(store.savedProjects().size() == 1 && store.savedProjects().first().projectPath == u"/work/api"_s);
}

void TestProjectActions::startFindsItRunning()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    rig.detector->servers = {server(9, 5173, web)};

    awaitTask(store.startRememberedProject(webProject()));
    QVERIFY(rig.actions->operations().isEmpty());
    QVERIFY(rig.sleeper->requests.isEmpty());
    QCOMPARE(rig.detector->scanCount(), 1);
    QVERIFY(store.pendingProjectActions().isEmpty());
    QVERIFY(store.activeProjectActionPaths().isEmpty());
    QVERIFY(store.projectErrors().isEmpty());
}

void TestProjectActions::startRefreshesAfterFailedWaits()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    rig.sleeper->failures = 2;

    awaitTask(store.startRememberedProject(webProject()));
    QCOMPARE(rig.actions->count(u"startProject"_s), 1);
    QCOMPARE(rig.sleeper->requests, (Delays{750ms, 3000ms}));
    // The scan before the launch, then one after each wait all the same.
    QCOMPARE(rig.detector->scanCount(), 3);
}

void TestProjectActions::startSeesOnlyAScanBegunAfterIt_data()
{
    QTest::addColumn<bool>("newerAnswersFirst");
    QTest::newRow("the newer scan answers first") << true;
    QTest::newRow("the older scan answers first") << false;
}

void TestProjectActions::startSeesOnlyAScanBegunAfterIt()
{
    QFETCH(bool, newerAnswersFirst);
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    rig.detector->hold = true;

    // A poll's scan began before the project came up by itself...
    auto poll = store.refresh();
    QCOMPARE(rig.detector->scanCount(), 1);
    // ...so the start must not trust it: it scans anew at once.
    auto start = store.startRememberedProject(webProject());
    QCOMPARE(rig.detector->scanCount(), 2);

    const QList<LocalServer> now{server(9, 5173, web)};
    rig.detector->finish(newerAnswersFirst ? 2 : 1, newerAnswersFirst ? now : QList<LocalServer>{});
    QTRY_COMPARE(rig.detector->waitingCount(), 1);
    rig.detector->finish(newerAnswersFirst ? 1 : 2, newerAnswersFirst ? QList<LocalServer>{} : now);
    awaitTask(std::move(start));
    awaitTask(std::move(poll));

    QVERIFY(rig.actions->operations().isEmpty());
    // The older list never replaces the newer one.
    QCOMPARE(store.servers(), now);
    QCOMPARE(store.refreshState(), RefreshState::idle());
    QVERIFY(store.pendingProjectActions().isEmpty());
    QCOMPARE(rig.eventsNamed(u"porthive_server_refresh_completed"_s).size(), newerAnswersFirst ? 1 : 2);
}

void TestProjectActions::startTwiceLaunchesOnce()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    rig.actions->holdLaunches = true;

    auto first = store.startRememberedProject(webProject());
    QTRY_COMPARE(rig.actions->waitingLaunches(), 1);
    auto second = store.startRememberedProject(webProject());
    QVERIFY(second.isReady());
    QCOMPARE(rig.detector->scanCount(), 1);
    QCOMPARE(rig.eventsNamed(u"porthive_project_action_requested"_s),
             QList<AnalyticsEvent>{requested(ProjectAnalyticsAction::Start)});

    rig.actions->releaseLaunches();
    awaitTask(std::move(first));
    QCOMPARE(rig.actions->count(u"startProject"_s), 1);
}

void TestProjectActions::startLaunchFails()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    const ServerLogSession session = rig.sessionWithLog(web, "> vite\r\nError: Cannot find module 'vite'\r\n\r\n");
    rig.actions->launchHandler = [session](const QString&) -> ServerLogSession {
        throw ActionError::launchFailed(1, u"Error: Cannot find module 'vite'"_s, session);
    };

    awaitTask(store.startRememberedProject(webProject()));
    QCOMPARE(store.projectErrors(), (ProjectTexts{{web, u"Launch failed (1) \u2014 open logs for details"_s}}));
    QCOMPARE(store.logSessionsByProjectPath(), (LogSessionsByProjectPath{{web, session}}));
    QCOMPARE(store.logPreviewsByProjectPath(), (ProjectTexts{{web, u"Error: Cannot find module 'vite'"_s}}));
    QVERIFY(store.pendingProjectActions().isEmpty());
    QVERIFY(store.activeProjectActionPaths().isEmpty());
    QVERIFY(rig.sleeper->requests.isEmpty());
    QCOMPARE(rig.detector->scanCount(), 1);
    QCOMPARE(rig.telemetry->messages.size(), 1);
    QCOMPARE(rig.telemetry->messages.first().operation, TelemetryOperation::ProjectStart);
    QCOMPARE(rig.telemetry->messages.first().properties,
             (TelemetryProperties{{u"failure_category"_s, u"launch_failed"_s}, {u"exit_code"_s, u"1"_s}}));
    // The header is not the place for a project's failure.
    QCOMPARE(store.refreshState(), RefreshState::idle());
}

void TestProjectActions::startOtherFailures_data()
{
    QTest::addColumn<bool>("missingCommand");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("category");
    QTest::newRow("no launch command") << true << u"Launch command unavailable"_s << u"missing_launch_command"_s;
    QTest::newRow("no private log") << false << u"Could not create a private Porthive log"_s << u"log_unavailable"_s;
}

void TestProjectActions::startOtherFailures()
{
    QFETCH(bool, missingCommand);
    QFETCH(QString, text);
    QFETCH(QString, category);
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    rig.actions->launchHandler = [missingCommand](const QString&) -> ServerLogSession {
        throw missingCommand ? ActionError::missingLaunchCommand() : ActionError::logUnavailable();
    };

    awaitTask(store.startRememberedProject(webProject()));
    QCOMPARE(store.projectErrors(), (ProjectTexts{{web, text}}));
    QVERIFY(store.logSessionsByProjectPath().isEmpty());
    QVERIFY(store.logPreviewsByProjectPath().isEmpty());
    QVERIFY(store.pendingProjectActions().isEmpty());
    QCOMPARE(rig.telemetry->messages.size(), 1);
    QCOMPARE(rig.telemetry->messages.first().properties.value(u"failure_category"_s), category);

    // A later scan that finds the project running clears the text.
    rig.detector->servers = {server(9, 5173, web)};
    rig.refresh();
    QVERIFY(store.projectErrors().isEmpty());
}

void TestProjectActions::forgetWaitsForTheStart()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    const ServerLogSession session = rig.sessionWithLog(web, "ready\n");
    rig.actions->launchHandler = [session](const QString&) {
        return session;
    };
    rig.actions->holdLaunches = true;

    auto start = store.startRememberedProject(webProject());
    QTRY_COMPARE(rig.actions->waitingLaunches(), 1);
    store.forgetRememberedProject(webProject());
    QCOMPARE(store.projectErrors(), (ProjectTexts{{web, u"Wait for Start to finish"_s}}));
    QCOMPARE(store.rememberedProjects().size(), 2);
    QVERIFY(!rig.analytics.events.contains(requested(ProjectAnalyticsAction::Remove)));

    rig.actions->releaseLaunches();
    awaitTask(std::move(start));
    QVERIFY(QFile::exists(session.fileURL.toLocalFile()));
    QVERIFY(store.logPreviewsByProjectPath().contains(web));

    store.forgetRememberedProject(webProject());
    QCOMPARE(rig.analytics.events.last(), requested(ProjectAnalyticsAction::Remove));
    QCOMPARE(store.rememberedProjects(), QList<RememberedProject>{project(u"/work/api"_s)});
    QVERIFY(store.projectErrors().isEmpty());
    QVERIFY(store.logSessionsByProjectPath().isEmpty());
    QVERIFY(store.logPreviewsByProjectPath().isEmpty());
    QTRY_VERIFY(!QFile::exists(session.fileURL.toLocalFile()));
    QTRY_COMPARE(
        ServerStore::decodeRememberedProjects(rig.defaults->value(ServerStore::rememberedProjectsKey).toByteArray()),
        std::optional<QList<RememberedProject>>(QList<RememberedProject>{project(u"/work/api"_s)}));
}

void TestProjectActions::forgetWithoutSessionDeletesNoFile()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    const ServerLogSession other = rig.sessionWithLog(u"/work/api"_s, "api ready\n");
    awaitTask(store.recordLogSession(other));

    store.forgetRememberedProject(webProject(), false);
    QCOMPARE(store.rememberedProjects(), QList<RememberedProject>{project(u"/work/api"_s)});
    QVERIFY(rig.analytics.events.isEmpty());
    QTRY_COMPARE(rig.defaults->writesOf(ServerStore::rememberedProjectsKey).size(), 2);
    QVERIFY(QFile::exists(other.fileURL.toLocalFile()));
    QCOMPARE(store.logSessionsByProjectPath(), (LogSessionsByProjectPath{{u"/work/api"_s, other}}));
}

void TestProjectActions::reveal_data()
{
    QTest::addColumn<bool>("shown");
    QTest::newRow("shown") << true;
    QTest::newRow("nothing could show it") << false;
}

void TestProjectActions::reveal()
{
    QFETCH(bool, shown);
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    rig.actions->revealAnswer = shown;

    store.revealRememberedProject(webProject());
    QCOMPARE(rig.actions->calls().size(), 1);
    QCOMPARE(rig.actions->calls().first().operation, u"revealPath"_s);
    QCOMPARE(rig.actions->calls().first().target, web);
    QCOMPARE(rig.analytics.events, QList<AnalyticsEvent>{requested(ProjectAnalyticsAction::RevealProject)});
    if (shown) {
        QVERIFY(store.projectErrors().isEmpty());
        QVERIFY(rig.telemetry->messages.isEmpty());
        return;
    }
    QCOMPARE(store.projectErrors(), (ProjectTexts{{web, u"Project path unavailable"_s}}));
    QCOMPARE(rig.telemetry->messages.size(), 1);
    QCOMPARE(rig.telemetry->messages.first().operation, TelemetryOperation::ProjectReveal);
    QCOMPARE(rig.telemetry->messages.first().properties, (TelemetryProperties{{u"runtime_kind"_s, u"vite"_s}}));
}

void TestProjectActions::outdatedPreviewIsDropped()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    const ServerLogSession first = rig.sessionWithLog(web, "first launch\n");
    const ServerLogSession second = rig.sessionWithLog(web, "second launch\n");
    QSignalSpy previews(&store, &ServerStore::logPreviewsByProjectPathChanged);
    QVERIFY(previews.isValid());

    // The first read's result comes back through the event loop, so only after the newer launch is recorded.
    auto readFirst = store.recordLogSession(first);
    auto readSecond = store.recordLogSession(second);
    awaitTask(std::move(readFirst));
    awaitTask(std::move(readSecond));

    // The first read's result came too late to be shown.
    QCOMPARE(store.logSessionsByProjectPath(), (LogSessionsByProjectPath{{web, second}}));
    QCOMPARE(store.logPreviewsByProjectPath(), (ProjectTexts{{web, u"second launch"_s}}));
    QCOMPARE(previews.count(), 1);
}

void TestProjectActions::unreadableLogPreview()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    awaitTask(store.recordLogSession(FakeProcessActions::sessionFor(web)));
    QCOMPARE(store.logPreviewsByProjectPath(), (ProjectTexts{{web, u"Log unavailable"_s}}));
}

// A named pipe put where a project's log was: its preview fails at once, and a start while it is read still
// launches, through the real action service.
void TestProjectActions::namedPipeAtTheLogHoldsUpNoStart()
{
    QTemporaryDir projects;
    QVERIFY(projects.isValid());
    const QString first = projects.filePath(u"first"_s);
    const QString second = projects.filePath(u"second"_s);
    QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));
    StoreRig rig(m_logs.path());
    rig.defaults->setValue(ServerStore::rememberedProjectsKey,
                           ServerStore::encodeRememberedProjects({project(first, baseTime, u"echo first ran"_s),
                                                                  project(second, baseTime, u"echo second ran"_s)}));
    ServerStore::Services services = rig.services();
    LaunchSetup setup;
    setup.shell = u"/bin/sh"_s;
    setup.logWriter.clear();
    services.actions = std::make_shared<ProcessActionService>(rig.logs, rig.workspace, 200ms, setup);
    ServerStore store(std::move(services));
    QCOMPARE(store.rememberedProjects().size(), 2);
    const RememberedProject firstProject = store.rememberedProjects().at(0);
    const RememberedProject secondProject = store.rememberedProjects().at(1);

    awaitTask(store.startRememberedProject(firstProject), 30s);
    QCOMPARE(store.logPreviewsByProjectPath().value(first), u"first ran"_s);
    const QByteArray log = QFile::encodeName(store.logSessionsByProjectPath().value(first).fileURL.toLocalFile());
    QCOMPARE(::unlink(log.constData()), 0);
    QCOMPARE(::mkfifo(log.constData(), 0600), 0);

    // The row's hover reads the preview; the start comes while that read runs.
    QCoro::Task<> preview = store.refreshLogPreview(first);
    awaitTask(store.startRememberedProject(secondProject), 30s);
    QVERIFY(store.projectErrors().isEmpty());
    QCOMPARE(store.logPreviewsByProjectPath().value(second), u"second ran"_s);
    awaitTask(std::move(preview), 10s);
    QCOMPARE(store.logPreviewsByProjectPath().value(first), u"Log unavailable"_s);
}

void TestProjectActions::previewFollowsTheLog()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = storeWithProjects(rig);
    const ServerLogSession session = rig.sessionWithLog(web, {});
    awaitTask(store.recordLogSession(session));
    QCOMPARE(store.logPreviewsByProjectPath().value(web), u"No output yet"_s);

    QVERIFY(appendToFile(session.fileURL.toLocalFile(), "booting\nready in 300 ms\n"));
    awaitTask(store.refreshLogPreview(web));
    QCOMPARE(store.logPreviewsByProjectPath().value(web), u"ready in 300 ms"_s);

    // A folder without a session has nothing to read.
    awaitTask(store.refreshLogPreview(u"/work/api"_s));
    QCOMPARE(store.logPreviewsByProjectPath().size(), 1);
}

PORTHIVE_TEST_MAIN(TestProjectActions)
#include "tst_projectactions.moc"
