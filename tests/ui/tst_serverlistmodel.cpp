#include "listvalues.h"
#include "serverlistmodel.h"
#include "support/storerig.h"
#include "support/testhome.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace ListValues;

namespace {

// Follows the model through its change signals alone, so a test can check that they describe every change.
class KeyMirror : public QObject
{
public:
    explicit KeyMirror(ServerListModel& model)
        : m_model(model)
    {
        m_keys = keysOf(model);
        connect(&model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex&, int first, int last) { m_keys.remove(first, last - first + 1); });
        connect(&model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
            for (int row = first; row <= last; ++row)
                m_keys.insert(row, m_model.data(m_model.index(row), ServerListModel::KeyRole).toString());
        });
        connect(&model, &QAbstractItemModel::rowsMoved, this,
                [this](const QModelIndex&, int start, int end, const QModelIndex&, int destination) {
                    QStringList moved = m_keys.mid(start, end - start + 1);
                    m_keys.remove(start, end - start + 1);
                    const int at = destination > start ? destination - int(moved.size()) : destination;
                    for (int i = 0; i < moved.size(); ++i)
                        m_keys.insert(at + i, moved.at(i));
                });
        connect(&model, &QAbstractItemModel::modelReset, this, [this] { m_keys = keysOf(m_model); });
    }

    const QStringList& keys() const { return m_keys; }

    static QStringList keysOf(const ServerListModel& model)
    {
        QStringList keys;
        for (int row = 0; row < model.rowCount(); ++row)
            keys.append(model.data(model.index(row), ServerListModel::KeyRole).toString());
        return keys;
    }

private:
    ServerListModel& m_model;
    QStringList m_keys;
};

struct Spies
{
    explicit Spies(ServerListModel& model)
        : inserted(&model, &QAbstractItemModel::rowsInserted)
        , removed(&model, &QAbstractItemModel::rowsRemoved)
        , moved(&model, &QAbstractItemModel::rowsMoved)
        , changed(&model, &QAbstractItemModel::dataChanged)
        , reset(&model, &QAbstractItemModel::modelReset)
        , layout(&model, &QAbstractItemModel::layoutChanged)
    {}
    bool valid() const
    {
        return inserted.isValid() && removed.isValid() && moved.isValid() && changed.isValid() && reset.isValid() &&
               layout.isValid();
    }
    int structural() const
    {
        return int(inserted.size() + removed.size() + moved.size() + reset.size() + layout.size());
    }
    void clear()
    {
        for (QSignalSpy* spy : {&inserted, &removed, &moved, &changed, &reset, &layout})
            spy->clear();
    }

    QSignalSpy inserted, removed, moved, changed, reset, layout;
};

// Rows by key: what a row of the model says under one role.
QVariant roleOf(const ServerListModel& model, const QString& key, int role)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.data(model.index(row), ServerListModel::KeyRole).toString() == key)
            return model.data(model.index(row), role);
    }
    return {};
}

} // namespace

class TestServerListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsOfEverySection();
    void sameServersChangeNothing();
    void reorderAddRemoveGiveMinimalSignals();
    void markChangesOnlyItsRow();
    void windowStateReshapesTheList();
    void randomRefreshesAreDescribedBySignals();
    void actionsUseTheCurrentEntry();
    void savedRowActions();
    void failedStartStaysInItsCollapsedSection();
    void repeatedPathsKeepUniqueKeys();
    void outsideTextsAreShownClean();
    void viewStateLastsAsLongAsTheKey();
    void pressWhereTheSwapWasIsRefusedForAMoment_data();
    void pressWhereTheSwapWasIsRefusedForAMoment();
    void pressGuardEndsAfterTheInterval();

private:
    struct Fixture
    {
        explicit Fixture(const QString& logs, QList<RememberedProject> remembered = {})
            : rig(logs)
        {
            rig.clock.set(now);
            if (!remembered.isEmpty())
                rig.defaults->setValue(ServerStore::rememberedProjectsKey,
                                       ServerStore::encodeRememberedProjects(remembered));
            rig.makeStore();
            model.setClock(&rig.clock);
            model.setStore(rig.store.get());
        }
        void scan(QList<LocalServer> servers)
        {
            rig.detector->servers = std::move(servers);
            rig.refresh();
        }
        StoreRig rig;
        ServerListModel model;
        QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    };

    QTemporaryDir m_logs;
};

void TestServerListModel::rowsOfEverySection()
{
    QList<RememberedProject> remembered = manyProjects(6);
    remembered.append(project(u"/q/web"_s, 1, RuntimeKind::Vite, u"pnpm dev"_s));
    remembered.append(project(u"/r/web"_s, 1, RuntimeKind::Vite, u"pnpm dev"_s));
    Fixture f(m_logs.path(), remembered);
    f.scan({server(1, 3000), server(2, 9222, RuntimeKind::AgentBrowser), server(3, 9223, RuntimeKind::AgentBrowser)});

    QCOMPARE(KeyMirror::keysOf(f.model),
             (QStringList{u"running-section"_s, u"1:3000"_s, u"agent-browser-group"_s, u"Today"_s, u"/p/app000"_s,
                          u"/p/app001"_s, u"/p/app002"_s, u"/p/app003"_s, u"/p/app004"_s, u"Today-disclosure"_s,
                          u"Yesterday"_s, u"/q/web"_s, u"/r/web"_s}));
    const auto role = [&f](const QString& key, int r) {
        return roleOf(f.model, key, r);
    };
    QCOMPARE(role(u"running-section"_s, ServerListModel::TitleRole), u"Running"_s);
    QCOMPARE(role(u"running-section"_s, ServerListModel::CountRole), 3);
    QCOMPARE(role(u"running-section"_s, ServerListModel::SecondaryAccentRole), false);
    QCOMPARE(role(u"Today"_s, ServerListModel::CountRole), 6);
    QCOMPARE(role(u"Today"_s, ServerListModel::SecondaryAccentRole), true);
    QCOMPARE(role(u"1:3000"_s, ServerListModel::RowTypeRole), u"server"_s);
    QCOMPARE(role(u"1:3000"_s, ServerListModel::PortTextRole), u":3000"_s);
    QCOMPARE(role(u"1:3000"_s, ServerListModel::ShowsDividerRole), false);
    QCOMPARE(role(u"agent-browser-group"_s, ServerListModel::ShowsDividerRole), true);
    QCOMPARE(role(u"agent-browser-group"_s, ServerListModel::SessionsTextRole), u"2 sessions"_s);
    QCOMPARE(role(u"agent-browser-group"_s, ServerListModel::StaggerIndexRole), 1);
    QCOMPARE(role(u"/p/app000"_s, ServerListModel::StaggerIndexRole), 2);
    QCOMPARE(role(u"/p/app001"_s, ServerListModel::ShowsDividerRole), true);
    QCOMPARE(role(u"Today-disclosure"_s, ServerListModel::DisclosureTextRole), u"Show 1 more"_s);
    QCOMPARE(role(u"Today-disclosure"_s, ServerListModel::DisclosureHintRole),
             u"Show every saved project in this section"_s);
    QCOMPARE(role(u"/q/web"_s, ServerListModel::StaggerIndexRole), 8);
    QCOMPARE(role(u"/q/web"_s, ServerListModel::ShowsDividerRole), false);
    QCOMPARE(role(u"/q/web"_s, ServerListModel::CommandTextRole), u"q/ \u00b7 pnpm dev"_s);
    QCOMPARE(role(u"/p/app000"_s, ServerListModel::CommandTextRole), u"npm run dev"_s);

    QCOMPARE(f.model.runningCount(), 3);
    QCOMPARE(f.model.savedTotal(), 8);
    QCOMPARE(f.model.filterKinds(), (QStringList{u"agentBrowser"_s, u"vite"_s, u"node"_s}));
    QVERIFY(!f.model.isEmptyOverall());
    QVERIFY(f.model.hasContent());
    // Two headers of running and saved, five rows and a disclosure, two rows; a server row and the group.
    QCOMPARE(f.model.listHeight(), 12 + 3 * 30 + 8 * 36 + 54 + 36);
}

void TestServerListModel::sameServersChangeNothing()
{
    Fixture f(m_logs.path(), {project(u"/p/saved"_s)});
    f.scan({server(1, 3000, RuntimeKind::Node, u"/p/a"_s), server(2, 5173, RuntimeKind::Vite)});
    Spies spies(f.model);
    QVERIFY(spies.valid());
    QSignalSpy content(&f.model, &ServerListModel::contentChanged);

    f.scan({server(1, 3000, RuntimeKind::Node, u"/p/a"_s), server(2, 5173, RuntimeKind::Vite)});
    QCOMPARE(f.rig.detector->scanCount(), 2);
    QCOMPARE(spies.structural(), 0);
    QCOMPARE(spies.changed.size(), 0);
    QCOMPARE(content.size(), 0);
}

void TestServerListModel::reorderAddRemoveGiveMinimalSignals()
{
    Fixture f(m_logs.path());
    f.scan({server(1, 3000), server(2, 5173, RuntimeKind::Vite), server(3, 8080, RuntimeKind::Bun)});
    QCOMPARE(KeyMirror::keysOf(f.model), (QStringList{u"running-section"_s, u"2:5173"_s, u"1:3000"_s, u"3:8080"_s}));
    KeyMirror mirror(f.model);
    Spies spies(f.model);

    // 1:3000 leaves, 3:8080 turns out to be next and sorts first, 4:4000 comes.
    f.scan(
        {server(2, 5173, RuntimeKind::Vite), server(3, 8080, RuntimeKind::Next), server(4, 4000, RuntimeKind::Next)});
    const QStringList expected{u"running-section"_s, u"4:4000"_s, u"3:8080"_s, u"2:5173"_s};
    QCOMPARE(KeyMirror::keysOf(f.model), expected);
    QCOMPARE(mirror.keys(), expected);
    QCOMPARE(spies.removed.size(), 1);
    QCOMPARE(spies.moved.size(), 1);
    QCOMPARE(spies.inserted.size(), 1);
    QCOMPARE(spies.reset.size() + spies.layout.size(), 0);
    // The header's count stayed at 3: no row but the two kept servers reports a change.
    for (const QList<QVariant>& change : std::as_const(spies.changed)) {
        const int first = change.at(0).toModelIndex().row();
        const int last = change.at(1).toModelIndex().row();
        QVERIFY2(first >= 2 && last <= 3, qPrintable(u"rows %1 to %2 changed"_s.arg(first).arg(last)));
    }

    // Several servers at once, in one run each way.
    spies.clear();
    f.scan(
        {server(2, 5173, RuntimeKind::Vite), server(5, 5174, RuntimeKind::Vite), server(6, 5175, RuntimeKind::Vite)});
    QCOMPARE(mirror.keys(), KeyMirror::keysOf(f.model));
    QCOMPARE(KeyMirror::keysOf(f.model), (QStringList{u"running-section"_s, u"2:5173"_s, u"5:5174"_s, u"6:5175"_s}));
    QCOMPARE(spies.removed.size(), 1);
    QCOMPARE(spies.inserted.size(), 1);
    QCOMPARE(spies.moved.size(), 0);
}

void TestServerListModel::markChangesOnlyItsRow()
{
    Fixture f(m_logs.path());
    f.rig.detector->hold = true;
    auto first = f.rig.store->refresh();
    QTRY_COMPARE(f.rig.detector->waitingCount(), 1);
    f.rig.detector->finish(1, {server(1, 3000), server(2, 3001), server(3, 3002)});
    awaitTask(std::move(first));
    Spies spies(f.model);

    // Pausing marks the server and shows it paused at once; the settle refresh waits on the held scan.
    f.rig.store->pauseServer(f.rig.store->servers().at(1));
    QCOMPARE(spies.structural(), 0);
    QVERIFY(!spies.changed.isEmpty());
    for (const QList<QVariant>& change : std::as_const(spies.changed)) {
        QCOMPARE(change.at(0).toModelIndex().row(), 2);
        QCOMPARE(change.at(1).toModelIndex().row(), 2);
    }
    QCOMPARE(roleOf(f.model, u"2:3001"_s, ServerListModel::PendingTagRole), u"Pausing"_s);
    QCOMPARE(roleOf(f.model, u"2:3001"_s, ServerListModel::PausedRole), true);
    QCOMPARE(roleOf(f.model, u"2:3001"_s, ServerListModel::LiveRole), false);
    QCOMPARE(roleOf(f.model, u"2:3001"_s, ServerListModel::HasPendingRole), true);
    QCOMPARE(roleOf(f.model, u"1:3000"_s, ServerListModel::PendingTagRole), QString());
    QTRY_COMPARE(f.rig.detector->waitingCount(), 1);
    f.rig.detector->finish(2, {server(1, 3000), server(2, 3001), server(3, 3002)});
    QTRY_COMPARE(roleOf(f.model, u"2:3001"_s, ServerListModel::PendingTagRole), QString());
}

void TestServerListModel::windowStateReshapesTheList()
{
    QList<RememberedProject> remembered = manyProjects(6);
    remembered.append(project(u"/v/site"_s, 0, RuntimeKind::Vite));
    Fixture f(m_logs.path(), remembered);
    f.scan({server(1, 3000)});
    KeyMirror mirror(f.model);
    Spies spies(f.model);
    QSignalSpy content(&f.model, &ServerListModel::contentChanged);

    f.model.setExpandedSavedBucketIDs({u"Today"_s});
    QCOMPARE(mirror.keys(), KeyMirror::keysOf(f.model));
    QCOMPARE(spies.inserted.size(), 1);
    QCOMPARE(spies.removed.size(), 0);
    QCOMPARE(roleOf(f.model, u"Today-disclosure"_s, ServerListModel::DisclosureTextRole), u"Show less"_s);
    QCOMPARE(roleOf(f.model, u"Today-disclosure"_s, ServerListModel::DisclosureHintRole),
             u"Collapse this saved-project section"_s);
    QCOMPARE(roleOf(f.model, u"Today-disclosure"_s, ServerListModel::HiddenCountRole), 2);
    QCOMPARE(content.size(), 1);

    f.model.setRuntimeFilter(u"vite"_s);
    QCOMPARE(mirror.keys(), KeyMirror::keysOf(f.model));
    QCOMPARE(KeyMirror::keysOf(f.model), (QStringList{u"Today"_s, u"/v/site"_s}));
    QCOMPARE(f.model.activeFilter(), u"vite"_s);
    QCOMPARE(f.model.runningCount(), 0);
    QCOMPARE(f.model.savedTotal(), 7);

    f.model.setRuntimeFilter(u"bun"_s);
    QCOMPARE(f.model.activeFilter(), QString());
    QCOMPARE(f.model.filterEmptyText(), u"No matching servers"_s);
    QCOMPARE(mirror.keys(), KeyMirror::keysOf(f.model));
    QCOMPARE(f.model.rowCount(), 1 + 1 + 1 + 7 + 1);

    // A filter that leaves nothing: no rows, and the note names the kind.
    f.model.setRuntimeFilter(u"vite"_s);
    f.scan({server(1, 3000), server(2, 5173, RuntimeKind::Vite, u"/v/site"_s)});
    QCOMPARE(KeyMirror::keysOf(f.model), (QStringList{u"running-section"_s, u"2:5173"_s}));
    QCOMPARE(mirror.keys(), KeyMirror::keysOf(f.model));
    QCOMPARE(f.model.filterEmptyText(), u"No Vite servers"_s);
    QCOMPARE(spies.reset.size() + spies.layout.size(), 0);
}

void TestServerListModel::randomRefreshesAreDescribedBySignals()
{
    Fixture f(m_logs.path());
    KeyMirror mirror(f.model);
    QRandomGenerator random(20260304);
    const QList<RuntimeKind>& kinds = RuntimeKinds::allCases();
    for (int round = 0; round < 200; ++round) {
        QList<LocalServer> servers;
        const int count = int(random.bounded(12));
        for (int i = 0; i < count; ++i) {
            const qint32 pid = qint32(random.bounded(1, 15));
            LocalServer s = server(pid, 3000 + pid, kinds.at(qsizetype(random.bounded(int(kinds.size())))));
            s.isPaused = random.bounded(4) == 0;
            if (std::none_of(servers.cbegin(), servers.cend(), [&s](const LocalServer& o) { return o.id() == s.id(); }))
                servers.append(s);
        }
        f.model.setGroupAgentBrowserSessions(random.bounded(3) != 0);
        f.scan(servers);
        QCOMPARE(mirror.keys(), KeyMirror::keysOf(f.model));
        QCOMPARE(f.model.rows(), makeListRows(f.model.snapshot(), *f.rig.store));
    }
}

void TestServerListModel::actionsUseTheCurrentEntry()
{
    Fixture f(m_logs.path());
    LocalServer listed = server(1, 3000, RuntimeKind::Node, u"/p/a"_s);
    f.scan({listed});
    QVERIFY(roleOf(f.model, u"1:3000"_s, ServerListModel::PausedRole) == false);

    // The store learns that the server is paused; the row's action resumes it.
    listed.isPaused = true;
    f.scan({listed});
    f.model.pauseOrResumeServer(u"1:3000"_s);
    QTRY_COMPARE(f.rig.actions->operations(), QStringList{u"resume"_s});

    // A server that left is not acted on.
    f.scan({});
    const qsizetype calls = f.rig.actions->calls().size();
    f.model.forceKillServer(u"1:3000"_s);
    f.model.pauseOrResumeServer(u"1:3000"_s);
    f.model.revealServer(u"1:3000"_s);
    f.model.openServer(u"1:3000"_s);
    QCOMPARE(f.rig.actions->calls().size(), calls);
    QVERIFY(f.rig.workspace->openedURLs.isEmpty());
    QVERIFY(f.model.serverLogSelection(u"1:3000"_s).isNull());
}

void TestServerListModel::savedRowActions()
{
    const RememberedProject web = project(u"/p/web"_s, 0, RuntimeKind::Vite);
    Fixture f(m_logs.path(), {web, project(u"/p/api"_s)});
    QVERIFY(f.model.projectLogSelection(web.projectPath).isNull());

    f.model.revealProject(web.projectPath);
    QCOMPARE(f.rig.actions->operations(), QStringList{u"revealPath"_s});

    f.model.startProject(web.projectPath);
    QTRY_COMPARE(f.rig.actions->count(u"startProject"_s), 1);
    QTRY_VERIFY(f.rig.store->pendingProjectActions().isEmpty());
    const QVariant selection = f.model.projectLogSelection(web.projectPath);
    QVERIFY(selection.canConvert<LogSelection>());
    QCOMPARE(selection.value<LogSelection>().displayTitle, u"web"_s);
    QCOMPARE(selection.value<LogSelection>().port, std::nullopt);
    QCOMPARE(roleOf(f.model, web.projectPath, ServerListModel::HasLogSessionRole), true);

    f.model.forgetProject(web.projectPath);
    QCOMPARE(KeyMirror::keysOf(f.model), (QStringList{u"Today"_s, u"/p/api"_s}));
    // Forgetting what is gone does nothing.
    f.model.forgetProject(web.projectPath);
    f.model.startProject(web.projectPath);
    QCOMPARE(f.rig.actions->count(u"startProject"_s), 1);
}

// A start pressed in an expanded section goes on showing its row after the section is collapsed: while it runs,
// and with its failure once it failed.
void TestServerListModel::failedStartStaysInItsCollapsedSection()
{
    Fixture f(m_logs.path(), manyProjects(8));
    const QString failed = u"/p/app006"_s;
    f.model.setExpandedSavedBucketIDs({u"Today"_s});
    f.rig.actions->holdLaunches = true;
    const ServerLogSession session = f.rig.sessionWithLog(failed, "sh: vite: not found\n");
    f.rig.actions->launchHandler = [session](const QString&) -> ServerLogSession {
        throw ActionError::launchFailed(127, u"sh: vite: not found"_s, session);
    };
    f.model.startProject(failed);
    QTRY_COMPARE(f.rig.actions->waitingLaunches(), 1);

    f.model.setExpandedSavedBucketIDs({});
    const QStringList collapsed{u"Today"_s,     u"/p/app000"_s, u"/p/app001"_s, u"/p/app002"_s,
                                u"/p/app003"_s, u"/p/app004"_s, failed,         u"Today-disclosure"_s};
    QCOMPARE(KeyMirror::keysOf(f.model), collapsed);
    QCOMPARE(roleOf(f.model, failed, ServerListModel::StatusTagTextRole), u"Starting"_s);

    f.rig.actions->releaseLaunches();
    QTRY_VERIFY(f.rig.store->projectErrors().contains(failed));
    QCOMPARE(KeyMirror::keysOf(f.model), collapsed);
    QCOMPARE(roleOf(f.model, failed, ServerListModel::StatusTagTextRole), u"Launch failed (127) \u2014\u2026"_s);
    QCOMPARE(roleOf(f.model, u"Today-disclosure"_s, ServerListModel::DisclosureTextRole), u"Show 2 more"_s);
    QCOMPARE(roleOf(f.model, u"Today"_s, ServerListModel::CountRole), 8);
    QCOMPARE(f.model.listHeight(), 12 + 30 + 7 * 36);
}

void TestServerListModel::repeatedPathsKeepUniqueKeys()
{
    // Two stored entries of one folder (an old store could hold them) must not give two rows one key.
    Fixture f(m_logs.path(), {project(u"/p/web"_s), project(u"/p/web"_s, 1)});
    const QStringList keys = KeyMirror::keysOf(f.model);
    QCOMPARE(keys.size(), 4);
    QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()).size(), 4);
}

void TestServerListModel::outsideTextsAreShownClean()
{
    Fixture f(m_logs.path(), {project(u"/p/we\u202Eb"_s, 0, RuntimeKind::Node, u"sh -c \u2066pnpm\u2069 dev"_s)});
    LocalServer hostile = server(1, 3000);
    hostile.pageTitle = u"Admin\u202Enimda\u0007"_s;
    hostile.displayCommandLine = u"node \u202Esj.revres"_s;
    f.scan({hostile});
    QCOMPARE(roleOf(f.model, u"1:3000"_s, ServerListModel::TitleRole), u"Adminnimda"_s);
    QVERIFY(roleOf(f.model, u"1:3000"_s, ServerListModel::DetailTooltipRole)
                .toString()
                .contains(u"\nCommand: node sj.revres\n"_s));
    QCOMPARE(roleOf(f.model, u"/p/we\u202Eb"_s, ServerListModel::TitleRole), u"web"_s);
    QCOMPARE(roleOf(f.model, u"/p/we\u202Eb"_s, ServerListModel::CommandTextRole), u"pnpm dev"_s);
}

void TestServerListModel::viewStateLastsAsLongAsTheKey()
{
    const RememberedProject web = project(u"/p/web"_s, 0, RuntimeKind::Vite);
    Fixture f(m_logs.path(), {web});
    f.scan({server(1, 3000), server(2, 5173, RuntimeKind::Vite)});
    Spies spies(f.model);
    QVERIFY(spies.valid());

    f.model.markAppeared(u"1:3000"_s);
    f.model.setConfirming(u"1:3000"_s, true);
    f.model.setConfirming(web.projectPath, true);
    // A key that is not listed keeps nothing.
    f.model.markAppeared(u"9:9999"_s);
    f.model.setConfirming(u"9:9999"_s, true);
    QVERIFY(f.model.hasAppeared(u"1:3000"_s));
    QVERIFY(!f.model.hasAppeared(u"2:5173"_s));
    QVERIFY(!f.model.hasAppeared(u"9:9999"_s));
    QCOMPARE(roleOf(f.model, u"1:3000"_s, ServerListModel::ConfirmingRole), true);
    QCOMPARE(roleOf(f.model, u"2:5173"_s, ServerListModel::ConfirmingRole), false);
    QCOMPARE(roleOf(f.model, web.projectPath, ServerListModel::ConfirmingRole), true);
    // Each change tells its own row, and only that role.
    QCOMPARE(spies.structural(), 0);
    QCOMPARE(spies.changed.size(), 2);
    for (const QList<QVariant>& change : std::as_const(spies.changed)) {
        QCOMPARE(change.at(0).toModelIndex(), change.at(1).toModelIndex());
        QCOMPARE(change.at(2).value<QList<int>>(), QList<int>{ServerListModel::ConfirmingRole});
    }
    QCOMPARE(f.model.data(spies.changed.at(0).at(0).toModelIndex(), ServerListModel::KeyRole), u"1:3000"_s);
    f.model.setConfirming(u"1:3000"_s, true);
    QCOMPARE(spies.changed.size(), 2);

    // A refresh that keeps the server keeps its state; one that loses it drops it, and it comes back fresh.
    f.scan({server(2, 5173, RuntimeKind::Vite), server(1, 3000)});
    QVERIFY(f.model.hasAppeared(u"1:3000"_s));
    QCOMPARE(roleOf(f.model, u"1:3000"_s, ServerListModel::ConfirmingRole), true);
    f.scan({server(2, 5173, RuntimeKind::Vite)});
    f.scan({server(2, 5173, RuntimeKind::Vite), server(1, 3000)});
    QVERIFY(!f.model.hasAppeared(u"1:3000"_s));
    QCOMPARE(roleOf(f.model, u"1:3000"_s, ServerListModel::ConfirmingRole), false);

    // A filter that hides the saved project takes it off the list, and its question with it.
    f.model.setRuntimeFilter(u"node"_s);
    f.model.setRuntimeFilter(QString());
    QCOMPARE(roleOf(f.model, web.projectPath, ServerListModel::ConfirmingRole), false);
}

void TestServerListModel::pressWhereTheSwapWasIsRefusedForAMoment_data()
{
    QTest::addColumn<QPointF>("second");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("same place") << QPointF(60, 11) << false;
    QTest::newRow("within the double-click distance") << QPointF(65, 6) << false;
    QTest::newRow("farther on one axis") << QPointF(66, 11) << true;
}

void TestServerListModel::pressWhereTheSwapWasIsRefusedForAMoment()
{
    QFETCH(QPointF, second);
    QFETCH(bool, accepted);

    Fixture f(m_logs.path());
    f.scan({server(1, 3000)});
    const QString key = u"1:3000"_s;
    f.model.setSwapGuardDistance(5);
    f.model.setSwapGuardInterval(60 * 60 * 1000);

    // Presses that swap nothing are never refused.
    QVERIFY(f.model.acceptActionPress(key, QPointF(60, 11)));
    QVERIFY(f.model.acceptActionPress(key, QPointF(60, 11)));

    // The press opened the confirmation; a second one there is that click's other half.
    f.model.setConfirming(key, true);
    QCOMPARE(f.model.acceptActionPress(key, second), accepted);
    // Closing it guards again, around the last press that went through.
    f.model.setConfirming(key, false);
    QVERIFY(!f.model.acceptActionPress(key, second));
}

void TestServerListModel::pressGuardEndsAfterTheInterval()
{
    Fixture f(m_logs.path());
    f.scan({server(1, 3000)});
    const QString key = u"1:3000"_s;
    f.model.setSwapGuardInterval(50);
    QVERIFY(f.model.acceptActionPress(key, QPointF(60, 11)));
    f.model.setConfirming(key, true);
    QVERIFY(!f.model.acceptActionPress(key, QPointF(60, 11)));
    QTRY_VERIFY(f.model.acceptActionPress(key, QPointF(60, 11)));
}

PORTHIVE_TEST_MAIN(TestServerListModel)
#include "tst_serverlistmodel.moc"
