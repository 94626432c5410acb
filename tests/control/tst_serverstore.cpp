#include "control/filenameorder.h"
#include "control/serverlogservice.h"
#include "control/serverstore.h"
#include "discovery/commandrunner.h"
#include "platform/storage/userdefaults.h"
#include "support/awaittask.h"
#include "support/storerig.h"
#include "support/testhome.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

using ServerList = QList<LocalServer>;
using ProjectList = QList<RememberedProject>;
Q_DECLARE_METATYPE(ServerStore::ActionMarks)
Q_DECLARE_METATYPE(RefreshState::Kind)

using namespace StoreValues;

namespace {

QStringList pathsOf(const ProjectList& projects)
{
    QStringList paths;
    for (const RememberedProject& p : projects)
        paths.append(p.projectPath);
    return paths;
}

enum class Thrown
{
    CommandTimeout,
    StandardException,
    Foreign
};

} // namespace

class TestServerStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twoRefreshesRunOneScan();
    void refreshAfterAScanScansAgain();
    void equalListNotifiesNobody();
    void failedOrStale_data();
    void failedOrStale();
    void failureReportsAreThrottled();
    void runningCountAndSavedProjects();
    void pruning_data();
    void pruning();

    void pollingWaitsAfterEachRefresh();
    void pollingStartsOnceAndStops();
    void pollingHoldsTheStoreWeakly();
    void pollingGoesOnAfterAFailedSleep();

    void merge_data();
    void merge();
    void order_data();
    void order();
    void listIsSavedAsJsonAfterEveryRefresh();
    void loadKeepsTheStoredOrder();
    void unreadableList_data();
    void unreadableList();
    void savesAreWrittenInOrder();
    void destroyedStoreWritesTheLatestList();
    void savesReachTheSettingsFile();

private:
    QTemporaryDir m_logs;
};

// ---- Refresh cycle ----

void TestServerStore::twoRefreshesRunOneScan()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    rig.detector->hold = true;
    QSignalSpy serversChanged(&store, &ServerStore::serversChanged);
    QVERIFY(serversChanged.isValid());

    auto first = store.refresh();
    auto second = store.refresh();
    QCOMPARE(rig.detector->scanCount(), 1);
    QCOMPARE(store.refreshState(), RefreshState::refreshing());
    QVERIFY(!second.isReady());

    const ServerList found{server(100, 3000, u"/work/a"_s)};
    rig.detector->finish(1, found);
    awaitTask(std::move(second));
    QVERIFY(first.isReady());
    QCOMPARE(rig.detector->scanCount(), 1);
    QCOMPARE(store.servers(), found);
    QCOMPARE(store.refreshState(), RefreshState::idle());
    QCOMPARE(serversChanged.count(), 1);
    QCOMPARE(rig.eventsNamed(u"porthive_server_refresh_completed"_s).size(), 1);
}

void TestServerStore::refreshAfterAScanScansAgain()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    rig.refresh();
    rig.refresh();
    QCOMPARE(rig.detector->scanCount(), 2);
    QCOMPARE(store.refreshState(), RefreshState::idle());
}

void TestServerStore::equalListNotifiesNobody()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    rig.detector->servers = {server(100, 3000, u"/work/a"_s), server(200, 4000)};
    rig.refresh();

    QSignalSpy servers(&store, &ServerStore::serversChanged);
    QSignalSpy remembered(&store, &ServerStore::rememberedProjectsChanged);
    QSignalSpy saved(&store, &ServerStore::savedProjectsChanged);
    QSignalSpy count(&store, &ServerStore::runningServerCountChanged);
    QSignalSpy marks(&store, &ServerStore::pendingServerActionsChanged);
    QSignalSpy projectMarks(&store, &ServerStore::pendingProjectActionsChanged);
    QSignalSpy errors(&store, &ServerStore::projectErrorsChanged);
    QSignalSpy state(&store, &ServerStore::refreshStateChanged);
    QVERIFY(servers.isValid() && remembered.isValid() && state.isValid());

    rig.refresh();
    QCOMPARE(servers.count(), 0);
    QCOMPARE(remembered.count(), 0);
    QCOMPARE(saved.count(), 0);
    QCOMPARE(count.count(), 0);
    QCOMPARE(marks.count(), 0);
    QCOMPARE(projectMarks.count(), 0);
    QCOMPARE(errors.count(), 0);
    // Refreshing, then idle again: the state itself did change twice.
    QCOMPARE(state.count(), 2);
    QCOMPARE(store.refreshState(), RefreshState::idle());
    QCOMPARE(rig.eventsNamed(u"porthive_server_refresh_completed"_s).size(), 2);
}

void TestServerStore::failedOrStale_data()
{
    QTest::addColumn<bool>("serversListed");
    QTest::addColumn<Thrown>("thrown");
    QTest::addColumn<RefreshState::Kind>("kind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<RefreshFailureCategory>("category");
    // The report throttle's key: the error's own type name, then the redacted description.
    QTest::addColumn<QString>("signature");

    const QString timedOut = u"/bin/ps timed out"_s;
    QTest::newRow("nothing listed") << false << Thrown::CommandTimeout << RefreshState::Kind::Failed << timedOut
                                    << RefreshFailureCategory::Timeout << u"CommandRunnerError:/bin/ps timed out"_s;
    QTest::newRow("servers listed") << true << Thrown::CommandTimeout << RefreshState::Kind::Stale << timedOut
                                    << RefreshFailureCategory::Timeout << u"CommandRunnerError:/bin/ps timed out"_s;
    QTest::newRow("standard exception") << false << Thrown::StandardException << RefreshState::Kind::Failed
                                        << u"permission denied reading sockets"_s
                                        << RefreshFailureCategory::PermissionDenied
                                        << u"UnexpectedError:permission denied reading sockets"_s;
    QTest::newRow("foreign throw") << true << Thrown::Foreign << RefreshState::Kind::Stale << u"Unknown error"_s
                                   << RefreshFailureCategory::Unknown << u"UnexpectedError:Unknown error"_s;
}

void TestServerStore::failedOrStale()
{
    QFETCH(bool, serversListed);
    QFETCH(Thrown, thrown);
    QFETCH(RefreshState::Kind, kind);
    QFETCH(QString, message);
    QFETCH(RefreshFailureCategory, category);
    QFETCH(QString, signature);

    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    const ServerList listed{server(100, 3000, u"/work/a"_s)};
    if (serversListed) {
        rig.detector->servers = listed;
        rig.refresh();
    }

    rig.detector->hold = true;
    auto refresh = store.refresh();
    const int scan = rig.detector->scanCount();
    switch (thrown) {
    case Thrown::CommandTimeout:
        rig.detector->fail(scan, CommandRunnerError::timedOut(u"/bin/ps"_s));
        break;
    case Thrown::StandardException:
        rig.detector->fail(scan, std::runtime_error("permission denied reading sockets"));
        break;
    case Thrown::Foreign:
        rig.detector->fail(scan, 42);
        break;
    }
    awaitTask(std::move(refresh));

    QCOMPARE(store.refreshState().kind, kind);
    QCOMPARE(store.refreshState().message, message);
    QCOMPARE(store.servers(), serversListed ? listed : ServerList{});
    const QList<AnalyticsEvent> failures = rig.eventsNamed(u"porthive_server_refresh_failed"_s);
    QCOMPARE(failures.size(), 1);
    QCOMPARE(failures.first(), AnalyticsEvent::serverRefreshFailed(serversListed, category));
    QCOMPARE(rig.telemetry->errors.size(), 1);
    QCOMPARE(rig.telemetry->errors.first().operation, TelemetryOperation::DetectorRefresh);
    QCOMPARE(rig.telemetry->errors.first().properties,
             (TelemetryProperties{{u"had_servers"_s, serversListed ? u"true"_s : u"false"_s},
                                  {u"known_server_count"_s, serversListed ? u"1"_s : u"0"_s}}));
    QCOMPARE(store.refreshFailureTelemetrySentAt().keys(), QStringList{signature});

    // Whatever ended the scan, the next refresh scans again and succeeds.
    rig.detector->hold = false;
    rig.detector->servers = {};
    rig.refresh();
    QCOMPARE(rig.detector->scanCount(), scan + 1);
    QCOMPARE(store.refreshState(), RefreshState::idle());
}

void TestServerStore::failureReportsAreThrottled()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    const auto failWith = [&rig](CommandRunnerError error) {
        rig.detector->error = std::make_exception_ptr(std::move(error));
        rig.refresh();
    };
    const QString psSignature = u"CommandRunnerError:/bin/ps timed out"_s;
    const QDateTime start = rig.clock.now();

    // Every 60 s for just under half an hour: one report.
    for (int i = 0; i < 30; ++i) {
        failWith(CommandRunnerError::timedOut(u"/bin/ps"_s));
        rig.clock.advance(59'900);
    }
    QCOMPARE(rig.telemetry->errors.size(), 1);
    QCOMPARE(rig.telemetry->errors.first().typeName, u"CommandRunnerError"_s);
    QCOMPARE(rig.eventsNamed(u"porthive_server_refresh_failed"_s).size(), 30);
    QCOMPARE(store.refreshFailureTelemetrySentAt().value(psSignature), start);

    // 1800 s after the last report it goes out again, not a millisecond before.
    rig.clock.set(start.addMSecs(1800'000 - 1));
    failWith(CommandRunnerError::timedOut(u"/bin/ps"_s));
    QCOMPARE(rig.telemetry->errors.size(), 1);
    rig.clock.set(start.addSecs(1800));
    failWith(CommandRunnerError::timedOut(u"/bin/ps"_s));
    QCOMPARE(rig.telemetry->errors.size(), 2);

    // Another description is another signature; descriptions that differ only in a redacted path are one.
    failWith(CommandRunnerError::launchFailed(u"could not start /home/ann/bin/lsof"_s));
    QCOMPARE(rig.telemetry->errors.size(), 3);
    failWith(CommandRunnerError::launchFailed(u"could not start /home/bob/bin/lsof"_s));
    QCOMPARE(rig.telemetry->errors.size(), 3);
    QCOMPARE(store.refreshFailureTelemetrySentAt().size(), 2);
}

void TestServerStore::runningCountAndSavedProjects()
{
    StoreRig rig(m_logs.path());
    rig.defaults->setValue(ServerStore::rememberedProjectsKey,
                           ServerStore::encodeRememberedProjects(
                               {project(u"/work/web"_s), project(u"/work/api"_s), project(u"/work/docs"_s)}));
    ServerStore& store = rig.makeStore();
    QCOMPARE(pathsOf(store.savedProjects()), (QStringList{u"/work/web"_s, u"/work/api"_s, u"/work/docs"_s}));

    QSignalSpy count(&store, &ServerStore::runningServerCountChanged);
    rig.detector->servers = {server(1, 3000, u"/work/web"_s),
                             server(2, 9222, std::nullopt, u"agent-browser"_s, RuntimeKind::AgentBrowser),
                             server(3, 4000, std::nullopt, {})};
    rig.refresh();
    QCOMPARE(store.runningServerCount(), 2);
    QCOMPARE(count.count(), 1);
    QCOMPARE(pathsOf(store.savedProjects()), (QStringList{u"/work/api"_s, u"/work/docs"_s}));
    const QList<AnalyticsEvent> completed = rig.eventsNamed(u"porthive_server_refresh_completed"_s);
    QCOMPARE(completed.size(), 1);
    QCOMPARE(completed.first(),
             AnalyticsEvent::serverRefreshCompleted(3, 2, {{RuntimeKind::Node, 2}, {RuntimeKind::AgentBrowser, 1}}));
}

void TestServerStore::pruning_data()
{
    QTest::addColumn<ServerStore::ActionMarks>("marks");
    QTest::addColumn<QSet<QString>>("restarting");
    QTest::addColumn<QSet<QString>>("starting");
    QTest::addColumn<ServerList>("result");
    QTest::addColumn<ServerStore::ActionMarks>("expected");

    using F = ServerActionFeedback;
    const ServerList listed{server(10, 3000, u"/work/a"_s), server(20, 4000)};

    QTest::newRow("pause and resume marks end with any scan")
        << ServerStore::ActionMarks{{{u"10:3000"_s, F::Pausing}, {u"20:4000"_s, F::Resuming}}, {}, {}}
        << QSet<QString>{} << QSet<QString>{} << listed << ServerStore::ActionMarks{};
    QTest::newRow("kill mark stays while the server is listed")
        << ServerStore::ActionMarks{{{u"10:3000"_s, F::Killing}, {u"99:5000"_s, F::Killing}}, {}, {}} << QSet<QString>{}
        << QSet<QString>{} << listed << ServerStore::ActionMarks{{{u"10:3000"_s, F::Killing}}, {}, {}};
    QTest::newRow("restart mark stays while the restart runs")
        << ServerStore::ActionMarks{{{u"10:3000"_s, F::Restarting}, {u"20:4000"_s, F::Restarting}}, {}, {}}
        << QSet<QString>{u"20:4000"_s} << QSet<QString>{} << ServerList{}
        << ServerStore::ActionMarks{{{u"20:4000"_s, F::Restarting}}, {}, {}};
    QTest::newRow("start mark ends once the project runs")
        << ServerStore::ActionMarks{{},
                                    {{u"/work/a"_s, ProjectActionFeedback::Starting},
                                     {u"/work/b"_s, ProjectActionFeedback::Starting}},
                                    {}}
        << QSet<QString>{} << QSet<QString>{} << listed
        << ServerStore::ActionMarks{{}, {{u"/work/b"_s, ProjectActionFeedback::Starting}}, {}};
    QTest::newRow("start mark stays while its start runs")
        << ServerStore::ActionMarks{{}, {{u"/work/a"_s, ProjectActionFeedback::Starting}}, {}} << QSet<QString>{}
        << QSet<QString>{u"/work/a"_s} << listed
        << ServerStore::ActionMarks{{}, {{u"/work/a"_s, ProjectActionFeedback::Starting}}, {}};
    QTest::newRow("a project that runs again loses its error")
        << ServerStore::ActionMarks{{}, {}, {{u"/work/a"_s, u"Launch failed (1)"_s}, {u"/work/b"_s, u"x"_s}}}
        << QSet<QString>{} << QSet<QString>{} << listed << ServerStore::ActionMarks{{}, {}, {{u"/work/b"_s, u"x"_s}}};
}

void TestServerStore::pruning()
{
    QFETCH(ServerStore::ActionMarks, marks);
    QFETCH(QSet<QString>, restarting);
    QFETCH(QSet<QString>, starting);
    QFETCH(ServerList, result);
    QFETCH(ServerStore::ActionMarks, expected);
    QCOMPARE(ServerStore::prunedActionMarks(marks, restarting, starting, result), expected);
}

// ---- Polling ----

void TestServerStore::pollingWaitsAfterEachRefresh()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    rig.detector->hold = true;
    rig.sleeper->hold = true;

    store.startPolling();
    QVERIFY(store.isPolling());
    QCOMPARE(rig.detector->scanCount(), 1);
    // The interval counts from the end of the refresh.
    QVERIFY(rig.sleeper->requests.isEmpty());
    rig.detector->finish(1, {});
    QTRY_COMPARE(rig.sleeper->requests, (QList<std::chrono::milliseconds>{60s}));
    QCOMPARE(rig.detector->scanCount(), 1);

    rig.sleeper->release();
    QTRY_COMPARE(rig.detector->scanCount(), 2);
    rig.detector->finish(2, {});
    QTRY_COMPARE(rig.sleeper->requests, (QList<std::chrono::milliseconds>{60s, 60s}));
    store.stopPolling();
}

void TestServerStore::pollingStartsOnceAndStops()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    rig.sleeper->hold = true;
    QSignalSpy polling(&store, &ServerStore::pollingChanged);

    store.startPolling();
    store.startPolling();
    QTRY_COMPARE(rig.sleeper->requests.size(), 1);
    QCOMPARE(rig.detector->scanCount(), 1);
    QCOMPARE(polling.count(), 1);

    store.stopPolling();
    QVERIFY(!store.isPolling());
    rig.sleeper->release();
    QTRY_COMPARE(rig.sleeper->finished, 1);
    QCOMPARE(rig.detector->scanCount(), 1);

    // Polling can start again, with one loop.
    store.startPolling();
    QTRY_COMPARE(rig.sleeper->requests.size(), 2);
    QCOMPARE(rig.detector->scanCount(), 2);
    rig.sleeper->release();
    QTRY_COMPARE(rig.detector->scanCount(), 3);
    store.stopPolling();
}

void TestServerStore::pollingHoldsTheStoreWeakly()
{
    StoreRig rig(m_logs.path());
    rig.sleeper->hold = true;
    rig.makeStore().startPolling();
    QTRY_COMPARE(rig.sleeper->requests.size(), 1);
    rig.store.reset();
    rig.sleeper->release();
    QTRY_COMPARE(rig.sleeper->finished, 1);
    QCOMPARE(rig.detector->scanCount(), 1);
}

void TestServerStore::pollingGoesOnAfterAFailedSleep()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    rig.sleeper->hold = true;
    rig.sleeper->failures = 1;

    store.startPolling();
    QTRY_COMPARE(rig.sleeper->requests, (QList<std::chrono::milliseconds>{60s, 60s}));
    QCOMPARE(rig.detector->scanCount(), 2);
    QVERIFY(store.isPolling());
    store.stopPolling();
}

// ---- Remembered projects ----

void TestServerStore::merge_data()
{
    QTest::addColumn<ProjectList>("stored");
    QTest::addColumn<ServerList>("scan");
    QTest::addColumn<ProjectList>("expected");

    const QDateTime earlier = baseTime.addSecs(-3600);
    const QDateTime later = baseTime.addSecs(60);

    QTest::newRow("no project path or no command adds nothing")
        << ProjectList{} << ServerList{server(1, 3000), server(2, 3001, u"/work/a"_s, QString())} << ProjectList{};
    QTest::newRow("a new project is remembered")
        << ProjectList{} << ServerList{server(1, 3000, u"/work/a"_s, u"pnpm dev"_s, RuntimeKind::Vite)}
        << ProjectList{project(u"/work/a"_s, baseTime, u"pnpm dev"_s, RuntimeKind::Vite)};
    QTest::newRow("the later server of one folder wins")
        << ProjectList{}
        << ServerList{server(1, 3000, u"/work/a"_s, u"npm run dev"_s),
                      server(2, 3001, u"/work/a"_s, u"next dev"_s, RuntimeKind::Next)}
        << ProjectList{project(u"/work/a"_s, baseTime, u"next dev"_s, RuntimeKind::Next)};
    QTest::newRow("seen again, the newest sighting replaces the entry")
        << ProjectList{project(u"/work/a"_s, earlier, u"npm run dev"_s)}
        << ServerList{server(1, 3000, u"/work/a"_s, u"bun run dev"_s, RuntimeKind::Bun, later)}
        << ProjectList{project(u"/work/a"_s, later, u"bun run dev"_s, RuntimeKind::Bun)};
    QTest::newRow("a project that stopped keeps its entry")
        << ProjectList{project(u"/work/old"_s, earlier)} << ServerList{server(1, 3000, u"/work/new"_s)}
        << ProjectList{project(u"/work/new"_s), project(u"/work/old"_s, earlier)};
    QTest::newRow("a stored duplicate collapses to its later entry")
        << ProjectList{project(u"/work/a"_s, earlier, u"first"_s), project(u"/work/a"_s, earlier, u"second"_s)}
        << ServerList{} << ProjectList{project(u"/work/a"_s, earlier, u"second"_s)};
    QTest::newRow("newest first, equal dates by folder name")
        << ProjectList{project(u"/x/app10"_s), project(u"/y/Beta"_s, later)}
        << ServerList{server(1, 3000, u"/z/app2"_s), server(2, 3001, u"/w/alpha"_s, u"x"_s, RuntimeKind::Node, earlier)}
        << ProjectList{project(u"/y/Beta"_s, later), project(u"/z/app2"_s), project(u"/x/app10"_s),
                       project(u"/w/alpha"_s, earlier, u"x"_s)};
}

void TestServerStore::merge()
{
    QFETCH(ProjectList, stored);
    QFETCH(ServerList, scan);
    QFETCH(ProjectList, expected);

    StoreRig rig(m_logs.path());
    rig.defaults->setValue(ServerStore::rememberedProjectsKey, ServerStore::encodeRememberedProjects(stored));
    ServerStore& store = rig.makeStore();
    rig.detector->servers = scan;
    rig.refresh();
    QCOMPARE(pathsOf(store.rememberedProjects()), pathsOf(expected));
    QCOMPARE(store.rememberedProjects(), expected);
}

void TestServerStore::order_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");

    for (const QString& locale : {u"C"_s, u"en_US"_s, u"de_DE"_s}) {
        const auto row = [&locale](const char* name, const QString& first, const QString& second) {
            QTest::addRow("%s, %s", qPrintable(locale), name) << locale << first << second;
        };
        row("numbers by value", u"/p/app2"_s, u"/p/app10"_s);
        row("long numbers", u"/p/build-999"_s, u"/p/build-1000"_s);
        row("case ignored", u"/p/alpha"_s, u"/p/Beta"_s);
        row("case ignored, upper first", u"/p/Alpha"_s, u"/p/beta"_s);
        row("prefix first", u"/p/web"_s, u"/p/web-admin"_s);
        row("number then text", u"/p/v2-beta"_s, u"/p/v10-alpha"_s);
        row("folder name only", u"/zzz/a"_s, u"/aaa/b"_s);
        row("trailing slash ignored", u"/p/app2/"_s, u"/p/app10"_s);
    }
}

void TestServerStore::order()
{
    QFETCH(QString, locale);
    QFETCH(QString, first);
    QFETCH(QString, second);

    const QLocale previous;
    QLocale::setDefault(QLocale(locale));
    const auto restore = qScopeGuard([&previous] { QLocale::setDefault(previous); });

    QVERIFY(ServerStore::rememberedProjectPrecedes(project(first), project(second)));
    QVERIFY(!ServerStore::rememberedProjectPrecedes(project(second), project(first)));
    // A later date wins over any name.
    QVERIFY(ServerStore::rememberedProjectPrecedes(project(second, baseTime.addMSecs(1)), project(first)));
    QCOMPARE(compareFileNames(u"app", u"APP"), 0);
}

void TestServerStore::listIsSavedAsJsonAfterEveryRefresh()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    rig.detector->servers = {server(1, 3000, u"/work/a"_s, u"npm run dev"_s, RuntimeKind::Vite)};
    rig.refresh();
    QTRY_COMPARE(rig.defaults->writesOf(ServerStore::rememberedProjectsKey).size(), 1);

    const QVariant stored = rig.defaults->value(ServerStore::rememberedProjectsKey);
    QCOMPARE(stored.typeId(), QMetaType::QByteArray);
    const QJsonDocument document = QJsonDocument::fromJson(stored.toByteArray());
    QVERIFY(document.isArray());
    QCOMPARE(document.array().size(), 1);
    const QJsonObject entry = document.array().first().toObject();
    QStringList keys = entry.keys();
    keys.sort();
    QCOMPARE(keys, (QStringList{u"displayCommandLine"_s, u"lastSeenAt"_s, u"launchCommand"_s, u"projectPath"_s,
                                u"runtimeKind"_s}));
    QCOMPARE(entry.value(u"runtimeKind"_s).toString(), u"vite"_s);
    QVERIFY(entry.value(u"lastSeenAt"_s).isDouble());
    QVERIFY(!stored.toByteArray().contains('\n'));

    // An unchanged list is written again after the next refresh all the same.
    rig.refresh();
    QTRY_COMPARE(rig.defaults->writesOf(ServerStore::rememberedProjectsKey).size(), 2);

    rig.store.reset();
    ServerStore& next = rig.makeStore();
    QCOMPARE(next.rememberedProjects(),
             (ProjectList{project(u"/work/a"_s, baseTime, u"npm run dev"_s, RuntimeKind::Vite)}));
    Q_UNUSED(store);
}

void TestServerStore::loadKeepsTheStoredOrder()
{
    StoreRig rig(m_logs.path());
    const ProjectList unsorted{project(u"/p/b"_s, baseTime.addSecs(-10)), project(u"/p/a"_s, baseTime),
                               project(u"/p/c"_s, baseTime)};
    rig.defaults->setValue(ServerStore::rememberedProjectsKey, ServerStore::encodeRememberedProjects(unsorted));
    QCOMPARE(rig.makeStore().rememberedProjects(), unsorted);
    QVERIFY(!rig.defaults->contains(ServerStore::unreadableRememberedProjectsKey));
}

void TestServerStore::unreadableList_data()
{
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("not JSON") << QVariant(QByteArray("[{\"projectPath\": "));
    QTest::newRow("an object") << QVariant(QByteArray("{\"projectPath\":\"/p\"}"));
    QTest::newRow("a key missing") << QVariant(
        QByteArray(R"([{"projectPath":"/p","launchCommand":"x","runtimeKind":"node","lastSeenAt":1}])"));
    QTest::newRow("unknown runtime") << QVariant(
        QByteArray(R"([{"projectPath":"/p","launchCommand":"x","displayCommandLine":"x",)"
                   R"("runtimeKind":"deno","lastSeenAt":1}])"));
    QTest::newRow("date as text") << QVariant(
        QByteArray(R"([{"projectPath":"/p","launchCommand":"x","displayCommandLine":"x",)"
                   R"("runtimeKind":"node","lastSeenAt":"yesterday"}])"));
    QTest::newRow("text, not data") << QVariant(u"[]"_s);
}

void TestServerStore::unreadableList()
{
    QFETCH(QVariant, stored);

    StoreRig rig(m_logs.path());
    rig.defaults->setValue(ServerStore::rememberedProjectsKey, stored);
    ServerStore& store = rig.makeStore();
    QVERIFY(store.rememberedProjects().isEmpty());
    QCOMPARE(rig.defaults->value(ServerStore::unreadableRememberedProjectsKey), stored);

    // The first save replaces the main entry; the unreadable one stays for the user.
    rig.detector->servers = {server(1, 3000, u"/work/a"_s)};
    rig.refresh();
    QTRY_COMPARE(rig.defaults->writesOf(ServerStore::rememberedProjectsKey).size(), 2);
    QCOMPARE(
        ServerStore::decodeRememberedProjects(rig.defaults->value(ServerStore::rememberedProjectsKey).toByteArray()),
        std::optional<ProjectList>(ProjectList{project(u"/work/a"_s)}));
    QCOMPARE(rig.defaults->value(ServerStore::unreadableRememberedProjectsKey), stored);

    // A later unreadable list is kept as well, beside the first; the same one seen again is kept once.
    const QVariant later(QByteArray("[{\"later\": "));
    rig.defaults->setValue(ServerStore::rememberedProjectsKey, later);
    rig.store.reset();
    QVERIFY(rig.makeStore().rememberedProjects().isEmpty());
    rig.store.reset();
    QVERIFY(rig.makeStore().rememberedProjects().isEmpty());
    QCOMPARE(rig.defaults->value(ServerStore::unreadableRememberedProjectsKey), stored);
    QCOMPARE(rig.defaults->value(ServerStore::unreadableRememberedProjectsKey + u".2"_s), later);
    QVERIFY(!rig.defaults->contains(ServerStore::unreadableRememberedProjectsKey + u".3"_s));
}

void TestServerStore::savesAreWrittenInOrder()
{
    StoreRig rig(m_logs.path());
    ServerStore& store = rig.makeStore();
    // Each scan sees one more project; each refresh finishes at once and starts its own save.
    constexpr int scans = 12;
    for (int i = 1; i <= scans; ++i) {
        rig.detector->servers.append(
            server(i, 3000 + i, u"/work/p%1"_s.arg(i), u"npm run dev"_s, RuntimeKind::Node, baseTime.addSecs(i)));
        rig.refresh();
    }
    QCOMPARE(store.rememberedProjects().size(), scans);
    const QByteArray last = ServerStore::encodeRememberedProjects(store.rememberedProjects());
    QTRY_COMPARE(rig.defaults->value(ServerStore::rememberedProjectsKey).toByteArray(), last);

    // Every write holds at least as many projects as the one before: no older list came after a newer.
    qsizetype previous = 0;
    for (const QVariant& written : rig.defaults->writesOf(ServerStore::rememberedProjectsKey)) {
        const auto decoded = ServerStore::decodeRememberedProjects(written.toByteArray());
        QVERIFY(decoded);
        QVERIFY2(decoded->size() >= previous, "an older list overwrote a newer one");
        previous = decoded->size();
    }
    QCOMPARE(previous, scans);
}

void TestServerStore::destroyedStoreWritesTheLatestList()
{
    StoreRig rig(m_logs.path());
    rig.makeStore();
    rig.detector->servers = {server(1, 3000, u"/work/a"_s)};
    rig.refresh();
    // Gone before its save could finish encoding.
    rig.store.reset();
    QCOMPARE(
        ServerStore::decodeRememberedProjects(rig.defaults->value(ServerStore::rememberedProjectsKey).toByteArray()),
        std::optional<ProjectList>(ProjectList{project(u"/work/a"_s)}));
}

void TestServerStore::savesReachTheSettingsFile()
{
    const QString file = m_logs.filePath(u"settings/porthive.json"_s);
    // What the file holds on disk.
    const auto stored = [&] {
        QFile json(file);
        if (!json.open(QIODevice::ReadOnly))
            return std::optional<ProjectList>();
        const QJsonValue entry =
            QJsonDocument::fromJson(json.readAll()).object().value(ServerStore::rememberedProjectsKey);
        return ServerStore::decodeRememberedProjects(
            QByteArray::fromBase64(entry.toObject().value(u"$base64"_s).toString().toLatin1()));
    };
    StoreRig rig(m_logs.path());
    ServerStore::Services services = rig.services();
    services.defaults = std::make_shared<SettingsUserDefaults>(file);
    rig.store = std::make_unique<ServerStore>(services);

    // Written off the GUI thread, one list after the other; the newest stays.
    rig.detector->servers = {server(1, 3000, u"/work/a"_s)};
    rig.refresh();
    rig.detector->servers = {server(2, 3001, u"/work/b"_s, u"npm run dev"_s, RuntimeKind::Node, baseTime.addSecs(1))};
    rig.refresh();
    const ProjectList both{project(u"/work/b"_s, baseTime.addSecs(1)), project(u"/work/a"_s)};
    QTRY_COMPARE(stored(), std::optional<ProjectList>(both));

    // A store that goes while its save is being encoded or written still leaves the newest list in the file.
    rig.detector->servers = {server(3, 3002, u"/work/c"_s, u"npm run dev"_s, RuntimeKind::Node, baseTime.addSecs(2))};
    rig.refresh();
    rig.store.reset();
    services.defaults.reset();
    QCOMPARE(stored(), std::optional<ProjectList>(ProjectList{project(u"/work/c"_s, baseTime.addSecs(2))} + both));
}

PORTHIVE_TEST_MAIN(TestServerStore)
#include "tst_serverstore.moc"
