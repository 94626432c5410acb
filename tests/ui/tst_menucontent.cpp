#include "listvalues.h"
#include "menucontent.h"
#include "support/testhome.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace ListValues;

namespace {

QStringList ids(const QList<RunningItem>& items)
{
    QStringList result;
    for (const RunningItem& item : items)
        result.append(item.id());
    return result;
}

QStringList labels(const MenuContentSnapshot& snapshot)
{
    QStringList result;
    for (const SavedBucketPresentation& section : snapshot.savedBuckets)
        result.append(section.bucket.label);
    return result;
}

QStringList paths(const QList<RememberedProject>& projects)
{
    QStringList result;
    for (const RememberedProject& project : projects)
        result.append(project.projectPath);
    return result;
}

} // namespace

class TestMenuContent : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sortsByKindThenPortKeepingTies();
    void groupsAgentBrowserSessions_data();
    void groupsAgentBrowserSessions();
    void filterAppliesOnlyWhileItsKindIsPresent();
    void filterKindsFollowCaseOrderAndIgnoreOldProjects();
    void countsBeforeAndAfterTheFilter();
    void emptyOverall_data();
    void emptyOverall();
    void collapsedSectionShowsFiveAndADisclosure();
    void pinnedProjectsAreNeverHidden_data();
    void pinnedProjectsAreNeverHidden();
    void heights_data();
    void heights();
    void identitiesAndStagger();
    void ambiguousNamesSpanSectionsAndCollapsedParts();
    void namesThatReadAlikeAreAmbiguous();
};

void TestMenuContent::sortsByKindThenPortKeepingTies()
{
    LocalServer first = server(10, 3000, RuntimeKind::Vite);
    LocalServer twin = server(11, 3000, RuntimeKind::Vite);
    const QList<LocalServer> sorted =
        MenuContent::sortRunningServers({server(1, 8080, RuntimeKind::Bun), first, server(2, 5173, RuntimeKind::Node),
                                         twin, server(3, 9222, RuntimeKind::AgentBrowser),
                                         server(4, 80, RuntimeKind::Vite), server(5, 4000, RuntimeKind::Next)});
    QStringList order;
    for (const LocalServer& s : sorted)
        order.append(s.id());
    QCOMPARE(order,
             (QStringList{u"3:9222"_s, u"5:4000"_s, u"4:80"_s, u"10:3000"_s, u"11:3000"_s, u"2:5173"_s, u"1:8080"_s}));
}

void TestMenuContent::groupsAgentBrowserSessions_data()
{
    QTest::addColumn<QList<LocalServer>>("servers");
    QTest::addColumn<bool>("grouping");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("runningCount");

    const LocalServer node = server(1, 3000);
    const LocalServer next = server(2, 4000, RuntimeKind::Next);
    const LocalServer sessionA = server(3, 9222, RuntimeKind::AgentBrowser);
    const LocalServer sessionB = server(4, 9223, RuntimeKind::AgentBrowser);
    const LocalServer sessionC = server(5, 9224, RuntimeKind::AgentBrowser);

    QTest::newRow("one session stays in its sorted place")
        << QList<LocalServer>{node, sessionA, next} << true << QStringList{u"3:9222"_s, u"2:4000"_s, u"1:3000"_s} << 3;
    QTest::newRow("two sessions fold into one last row") << QList<LocalServer>{sessionB, node, sessionA} << true
                                                         << QStringList{u"1:3000"_s, u"agent-browser-group"_s} << 3;
    QTest::newRow("three sessions and nothing else")
        << QList<LocalServer>{sessionC, sessionA, sessionB} << true << QStringList{u"agent-browser-group"_s} << 3;
    QTest::newRow("grouping off lists every session") << QList<LocalServer>{sessionB, node, sessionA} << false
                                                      << QStringList{u"3:9222"_s, u"4:9223"_s, u"1:3000"_s} << 3;
}

void TestMenuContent::groupsAgentBrowserSessions()
{
    QFETCH(QList<LocalServer>, servers);
    QFETCH(bool, grouping);
    QFETCH(QStringList, expected);
    QFETCH(int, runningCount);

    MenuContentInput in = input(servers);
    in.groupAgentBrowserSessions = grouping;
    const MenuContentSnapshot snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(ids(snapshot.runningItems), expected);
    QCOMPARE(snapshot.runningCount, runningCount);
    if (expected.contains(RunningItem::groupID)) {
        // The group carries the sessions in sorted order.
        QStringList sessions;
        for (const LocalServer& s : snapshot.runningItems.constLast().servers)
            sessions.append(s.id());
        QVERIFY(std::is_sorted(sessions.cbegin(), sessions.cend()));
        QCOMPARE(snapshot.runningItems.constLast().kind, RunningItem::Kind::AgentBrowserGroup);
    }
}

void TestMenuContent::filterAppliesOnlyWhileItsKindIsPresent()
{
    MenuContentInput in = input({server(1, 3000), server(2, 5173, RuntimeKind::Vite)},
                                {project(u"/p/vite-app"_s, 0, RuntimeKind::Vite), project(u"/p/node-app"_s)});
    in.runtimeFilter = RuntimeKind::Vite;

    MenuContentSnapshot snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(snapshot.activeFilter, std::optional(RuntimeKind::Vite));
    QCOMPARE(ids(snapshot.runningItems), QStringList{u"2:5173"_s});
    QCOMPARE(snapshot.savedBuckets.size(), 1);
    QCOMPARE(paths(snapshot.savedBuckets.constFirst().bucket.projects), QStringList{u"/p/vite-app"_s});

    // Every vite server and project gone: the filter is ignored and both sections show everything else.
    in.servers = {server(1, 3000)};
    in.savedProjects = {project(u"/p/node-app"_s)};
    snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(snapshot.activeFilter, std::nullopt);
    QCOMPARE(ids(snapshot.runningItems), QStringList{u"1:3000"_s});
    QCOMPARE(paths(snapshot.savedBuckets.constFirst().bucket.projects), QStringList{u"/p/node-app"_s});

    // Only an old vite project: too old to count as present.
    in.savedProjects.append(project(u"/p/old-vite"_s, 20, RuntimeKind::Vite));
    QCOMPARE(MenuContent::makeSnapshot(in).activeFilter, std::nullopt);

    // A vite server again: the stored filter applies again.
    in.servers.append(server(3, 5174, RuntimeKind::Vite));
    snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(snapshot.activeFilter, std::optional(RuntimeKind::Vite));
    QCOMPARE(ids(snapshot.runningItems), QStringList{u"3:5174"_s});
    QVERIFY(snapshot.savedBuckets.isEmpty());
}

void TestMenuContent::filterKindsFollowCaseOrderAndIgnoreOldProjects()
{
    const MenuContentSnapshot snapshot = MenuContent::makeSnapshot(
        input({server(1, 3000, RuntimeKind::Bun), server(2, 3001, RuntimeKind::Bun)},
              {project(u"/p/a"_s, 2, RuntimeKind::Next), project(u"/p/b"_s, 14, RuntimeKind::Vite),
               project(u"/p/c"_s, 13, RuntimeKind::AgentBrowser)}));
    QCOMPARE(snapshot.filterKinds,
             (QList<RuntimeKind>{RuntimeKind::AgentBrowser, RuntimeKind::Next, RuntimeKind::Bun}));
}

void TestMenuContent::countsBeforeAndAfterTheFilter()
{
    MenuContentInput in = input({server(1, 3000), server(2, 9222, RuntimeKind::AgentBrowser),
                                 server(3, 9223, RuntimeKind::AgentBrowser), server(4, 5173, RuntimeKind::Vite)},
                                {project(u"/p/a"_s), project(u"/p/b"_s, 1, RuntimeKind::Vite), project(u"/p/c"_s, 30)});
    MenuContentSnapshot snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(snapshot.runningCount, 4);
    QCOMPARE(snapshot.savedTotal, 2);

    in.runtimeFilter = RuntimeKind::AgentBrowser;
    snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(snapshot.runningCount, 2);
    QCOMPARE(ids(snapshot.runningItems), QStringList{RunningItem::groupID});
    QCOMPARE(snapshot.savedTotal, 2);
    QVERIFY(snapshot.savedBuckets.isEmpty());
}

void TestMenuContent::emptyOverall_data()
{
    QTest::addColumn<QList<LocalServer>>("servers");
    QTest::addColumn<QList<RememberedProject>>("saved");
    QTest::addColumn<std::optional<RuntimeKind>>("filter");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<bool>("hasContent");

    QTest::newRow("nothing") << QList<LocalServer>{} << QList<RememberedProject>{} << std::optional<RuntimeKind>{}
                             << true << false;
    QTest::newRow("only projects too old to show")
        << QList<LocalServer>{} << QList<RememberedProject>{project(u"/p/a"_s, 14)} << std::optional<RuntimeKind>{}
        << true << false;
    QTest::newRow("one server") << QList<LocalServer>{server(1, 3000)} << QList<RememberedProject>{}
                                << std::optional<RuntimeKind>{} << false << true;
    QTest::newRow("a recent project") << QList<LocalServer>{} << QList<RememberedProject>{project(u"/p/a"_s, 13)}
                                      << std::optional<RuntimeKind>{} << false << true;
    QTest::newRow("the filter leaves nothing, which is not empty overall")
        << QList<LocalServer>{server(1, 3000)} << QList<RememberedProject>{project(u"/p/a"_s, 0, RuntimeKind::Vite)}
        << std::optional<RuntimeKind>(RuntimeKind::Bun) << false << true;
}

void TestMenuContent::emptyOverall()
{
    QFETCH(QList<LocalServer>, servers);
    QFETCH(QList<RememberedProject>, saved);
    QFETCH(std::optional<RuntimeKind>, filter);
    QFETCH(bool, empty);
    QFETCH(bool, hasContent);

    MenuContentInput in = input(servers, saved);
    in.runtimeFilter = filter;
    const MenuContentSnapshot snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(snapshot.isEmptyOverall, empty);
    QCOMPARE(!snapshot.runningItems.isEmpty() || !snapshot.savedBuckets.isEmpty(), hasContent);
}

void TestMenuContent::collapsedSectionShowsFiveAndADisclosure()
{
    MenuContentInput in = input({}, manyProjects(6));
    MenuContentSnapshot snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(snapshot.savedBuckets.size(), 1);
    const SavedBucketPresentation collapsed = snapshot.savedBuckets.constFirst();
    QCOMPARE(collapsed.bucket.label, u"Today"_s);
    QCOMPARE(collapsed.collapsedLimit, 5);
    QVERIFY(!collapsed.isExpanded);
    QCOMPARE(collapsed.shownProjects().size(), 5);
    QVERIFY(collapsed.hasDisclosure());
    QCOMPARE(collapsed.hiddenCount(), 1);
    // Header, five rows, the disclosure row.
    QCOMPARE(MenuContent::estimatedContentHeight(snapshot), 12 + 30 + 36 * 6);

    in.expandedSavedBucketIDs = {u"Today"_s};
    snapshot = MenuContent::makeSnapshot(in);
    const SavedBucketPresentation expanded = snapshot.savedBuckets.constFirst();
    QVERIFY(expanded.isExpanded);
    QCOMPARE(expanded.shownProjects().size(), 6);
    QVERIFY(expanded.hasDisclosure());
    QCOMPARE(expanded.hiddenCount(), 1);
    QCOMPARE(MenuContent::estimatedContentHeight(snapshot), 12 + 30 + 36 * 7);

    // Five projects: nothing hidden, no disclosure.
    const SavedBucketPresentation five = MenuContent::makeSnapshot(input({}, manyProjects(5))).savedBuckets.first();
    QVERIFY(!five.hasDisclosure());
    QCOMPARE(five.shownProjects().size(), 5);
}

void TestMenuContent::pinnedProjectsAreNeverHidden_data()
{
    QTest::addColumn<QSet<QString>>("pinned");
    QTest::addColumn<bool>("expanded");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<int>("hidden");

    const QStringList firstFive{u"/p/app000"_s, u"/p/app001"_s, u"/p/app002"_s, u"/p/app003"_s, u"/p/app004"_s};
    QTest::newRow("nothing pinned") << QSet<QString>{} << false << firstFive << 3;
    QTest::newRow("a failed project past the five shows in its place")
        << QSet<QString>{u"/p/app006"_s} << false << firstFive + QStringList{u"/p/app006"_s} << 2;
    QTest::newRow("a pinned project among the five changes nothing")
        << QSet<QString>{u"/p/app002"_s} << false << firstFive << 3;
    QTest::newRow("every project past the five pinned: nothing hidden, no disclosure")
        << QSet<QString>{u"/p/app005"_s, u"/p/app006"_s, u"/p/app007"_s} << false
        << firstFive + QStringList{u"/p/app005"_s, u"/p/app006"_s, u"/p/app007"_s} << 0;
    QTest::newRow("a path of no project of the section") << QSet<QString>{u"/elsewhere"_s} << false << firstFive << 3;
    QTest::newRow("expanded: all, and the count of the collapsed section")
        << QSet<QString>{u"/p/app006"_s} << true
        << firstFive + QStringList{u"/p/app005"_s, u"/p/app006"_s, u"/p/app007"_s} << 2;
}

void TestMenuContent::pinnedProjectsAreNeverHidden()
{
    QFETCH(QSet<QString>, pinned);
    QFETCH(bool, expanded);
    QFETCH(QStringList, shown);
    QFETCH(int, hidden);

    MenuContentInput in = input({}, manyProjects(8));
    in.pinnedProjectPaths = pinned;
    if (expanded)
        in.expandedSavedBucketIDs = {u"Today"_s};
    const MenuContentSnapshot snapshot = MenuContent::makeSnapshot(in);
    const SavedBucketPresentation& today = snapshot.savedBuckets.constFirst();
    QCOMPARE(paths(today.shownProjects()), shown);
    QCOMPARE(today.hiddenCount(), hidden);
    QCOMPARE(today.hasDisclosure(), hidden > 0);

    // The height, the animation and the stagger follow the rows shown.
    const qsizetype rows = shown.size() + (hidden > 0 ? 1 : 0);
    QCOMPARE(MenuContent::estimatedContentHeight(snapshot), 12 + 30 + 36 * qreal(rows));
    QStringList identities{u"Today"_s};
    identities += shown;
    if (hidden > 0)
        identities.append(u"Today-disclosure"_s);
    QCOMPARE(MenuContent::animationIdentities(snapshot), identities);
}

void TestMenuContent::heights_data()
{
    QTest::addColumn<QList<LocalServer>>("servers");
    QTest::addColumn<QList<RememberedProject>>("saved");
    QTest::addColumn<bool>("expandToday");
    QTest::addColumn<qreal>("available");
    QTest::addColumn<qreal>("estimated");
    QTest::addColumn<qreal>("listHeight");

    QList<RememberedProject> twoKinds = manyProjects(199);
    twoKinds.append(project(u"/p/vite"_s, 0, RuntimeKind::Vite));

    QTest::newRow("one server") << QList<LocalServer>{server(1, 3000)} << QList<RememberedProject>{} << false
                                << qreal(900) << qreal(12 + 30 + 54) << qreal(96);
    QTest::newRow("servers and a group") << QList<LocalServer>{server(1, 3000),
                                                               server(2, 9222, RuntimeKind::AgentBrowser),
                                                               server(3, 9223, RuntimeKind::AgentBrowser)}
                                         << QList<RememberedProject>{} << false << qreal(900)
                                         << qreal(12 + 30 + 54 + 36) << qreal(132);
    QTest::newRow("200 projects, one kind")
        << QList<LocalServer>{} << manyProjects(200) << true << qreal(900) << qreal(12 + 30 + 36 * 201) << qreal(710);
    QTest::newRow("200 projects, two kinds: the rail takes its room")
        << QList<LocalServer>{} << twoKinds << true << qreal(900) << qreal(12 + 30 + 36 * 201) << qreal(679);
    QTest::newRow("200 projects collapsed fit")
        << QList<LocalServer>{} << manyProjects(200) << false << qreal(900) << qreal(12 + 30 + 36 * 6) << qreal(258);
    QTest::newRow("a tiny screen keeps one server row")
        << QList<LocalServer>{} << manyProjects(200) << true << qreal(200) << qreal(12 + 30 + 36 * 201) << qreal(54);
}

void TestMenuContent::heights()
{
    QFETCH(QList<LocalServer>, servers);
    QFETCH(QList<RememberedProject>, saved);
    QFETCH(bool, expandToday);
    QFETCH(qreal, available);
    QFETCH(qreal, estimated);
    QFETCH(qreal, listHeight);

    MenuContentInput in = input(servers, saved);
    if (expandToday)
        in.expandedSavedBucketIDs = {u"Today"_s};
    const MenuContentSnapshot snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(MenuContent::estimatedContentHeight(snapshot), estimated);
    QCOMPARE(MenuContent::listHeight(snapshot, available), listHeight);
}

void TestMenuContent::identitiesAndStagger()
{
    QList<RememberedProject> saved = manyProjects(7);
    saved.append(project(u"/q/old"_s, 1));
    saved.append(project(u"/q/older"_s, 9));
    MenuContentInput in =
        input({server(1, 3000), server(2, 9222, RuntimeKind::AgentBrowser), server(3, 9223, RuntimeKind::AgentBrowser)},
              saved);
    const MenuContentSnapshot snapshot = MenuContent::makeSnapshot(in);
    QCOMPARE(labels(snapshot), (QStringList{u"Today"_s, u"Yesterday"_s, u"Last Week"_s}));
    QCOMPARE(MenuContent::animationIdentities(snapshot),
             (QStringList{u"1:3000"_s, u"agent-browser-group"_s, u"Today"_s, u"/p/app000"_s, u"/p/app001"_s,
                          u"/p/app002"_s, u"/p/app003"_s, u"/p/app004"_s, u"Today-disclosure"_s, u"Yesterday"_s,
                          u"/q/old"_s, u"Last Week"_s, u"/q/older"_s}));
    // Two running rows; Today's five rows and its disclosure; Yesterday's one row.
    QCOMPARE(MenuContent::staggerIndex(snapshot, 0, 0), 2);
    QCOMPARE(MenuContent::staggerIndex(snapshot, 0, 4), 6);
    QCOMPARE(MenuContent::staggerIndex(snapshot, 1, 0), 8);
    QCOMPARE(MenuContent::staggerIndex(snapshot, 2, 0), 9);
}

void TestMenuContent::ambiguousNamesSpanSectionsAndCollapsedParts()
{
    QList<RememberedProject> saved = manyProjects(6);
    // "app005" sorts last in Today and is hidden while the section is collapsed.
    saved.append(project(u"/other/app005"_s, 9));
    saved.append(project(u"/a/web"_s, 0, RuntimeKind::Vite));
    saved.append(project(u"/b/web"_s, 1));
    saved.append(project(u"/c/site"_s, 1));
    saved.append(project(u"/c/site/"_s, 20));
    const MenuContentSnapshot snapshot = MenuContent::makeSnapshot(input({}, saved));
    QCOMPARE(MenuContent::ambiguousFolderNames(snapshot), (QSet<QString>{u"app005"_s, u"web"_s}));
}

void TestMenuContent::namesThatReadAlikeAreAmbiguous()
{
    // An override the row does not show makes two folders read the same: both get their parent folder.
    const MenuContentSnapshot snapshot =
        MenuContent::makeSnapshot(input({}, {project(u"/a/do\u202Ecs"_s, 0), project(u"/b/docs"_s, 1)}));
    QCOMPARE(MenuContent::ambiguousFolderNames(snapshot), QSet<QString>{u"docs"_s});
}

PORTHIVE_TEST_MAIN(TestMenuContent)
#include "tst_menucontent.moc"
