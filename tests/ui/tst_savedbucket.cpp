#include "savedbucket.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QTimeZone berlin("Europe/Berlin");

QDateTime at(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), berlin);
}

RememberedProject project(const QString& path, RuntimeKind kind, const QDateTime& lastSeen)
{
    RememberedProject p;
    p.projectPath = path;
    p.launchCommand = u"npm run dev"_s;
    p.displayCommandLine = u"npm run dev"_s;
    p.runtimeKind = kind;
    p.lastSeenAt = lastSeen;
    return p;
}

QStringList pathsOf(const QList<RememberedProject>& projects)
{
    QStringList paths;
    for (const RememberedProject& p : projects)
        paths.append(p.projectPath);
    return paths;
}

} // namespace

class TestSavedBucket : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void label_data();
    void label();
    void unreadableDateHasNoLabel();
    void recentProjectsKeepOrder();
    void bucketsGroupInOrderOfFirstAppearance();
    void projectsInsideABucket();
    void emptyAndOldInputs();
};

void TestSavedBucket::initTestCase()
{
    QVERIFY(berlin.isValid());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestSavedBucket::label_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected"); // empty: no label

    // 2024-03-18 is a Monday.
    const QDateTime now = at(2024, 3, 18, 12, 0);
    QTest::newRow("same day") << at(2024, 3, 18, 0, 1) << now << u"Today"_s;
    QTest::newRow("yesterday") << at(2024, 3, 17, 23, 59) << now << u"Yesterday"_s;
    QTest::newRow("two days: weekday") << at(2024, 3, 16, 8, 0) << now << u"Saturday"_s;
    QTest::newRow("six days: weekday") << at(2024, 3, 12, 9, 0) << now << u"Tuesday"_s;
    QTest::newRow("seven days: last week") << at(2024, 3, 11, 23, 0) << now << u"Last Week"_s;
    QTest::newRow("thirteen days: last week") << at(2024, 3, 5, 0, 0) << now << u"Last Week"_s;
    QTest::newRow("fourteen days: none") << at(2024, 3, 4, 23, 59) << now << QString();
    QTest::newRow("future: today") << at(2024, 3, 25, 10, 0) << now << u"Today"_s;
    QTest::newRow("calendar days, not 24-hour periods")
        << at(2024, 3, 16, 23, 59) << at(2024, 3, 18, 0, 1) << u"Saturday"_s;
    // Summer time starts on 2024-03-31: only 6 days 23 h 40 min have passed, but it is 7 calendar days.
    QTest::newRow("across the change to summer time")
        << at(2024, 3, 25, 0, 30) << at(2024, 4, 1, 0, 10) << u"Last Week"_s;
    // And back: 2024-10-27 has 25 hours, so 7 days 0 h 20 min have passed in 6 calendar days.
    QTest::newRow("across the change to winter time")
        << at(2024, 10, 21, 0, 30) << at(2024, 10, 27, 23, 50) << u"Monday"_s;
    // Today and yesterday are decided by `now`, not by the wall clock, even a second before midnight.
    QTest::newRow("a second before midnight, today")
        << at(2020, 1, 1, 0, 0) << at(2020, 1, 1, 23, 59, 59) << u"Today"_s;
    QTest::newRow("a second before midnight, yesterday")
        << at(2019, 12, 31, 23, 59, 59) << at(2020, 1, 1, 23, 59, 59) << u"Yesterday"_s;
    QTest::newRow("a date given in another zone is counted in the local one")
        << QDateTime(QDate(2024, 3, 17), QTime(23, 30), QTimeZone::utc()) << now << u"Today"_s;
}

void TestSavedBucket::label()
{
    QFETCH(QDateTime, date);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);

    const std::optional<QString> inZone = SavedBucket::labelFor(date, now, berlin);
    QCOMPARE(inZone.value_or(QString()), expected);
    QCOMPARE(inZone.has_value(), !expected.isEmpty());
    // The process runs in Berlin time (TZ, set in main): the local time zone gives the same answer.
    QCOMPARE(SavedBucket::labelFor(date, now).value_or(QString()), expected);
}

void TestSavedBucket::unreadableDateHasNoLabel()
{
    const QDateTime now = at(2024, 3, 18, 12, 0);
    QCOMPARE(SavedBucket::labelFor(QDateTime(), now), std::nullopt);
    QCOMPARE(SavedBucket::labelFor(now, QDateTime()), std::nullopt);

    const QList<RememberedProject> projects{project(u"/p/broken"_s, RuntimeKind::Vite, QDateTime()),
                                            project(u"/p/fine"_s, RuntimeKind::Vite, now)};
    const QList<SavedBucket> buckets = SavedBucket::buckets(projects, now, berlin);
    QCOMPARE(buckets.size(), 1);
    QCOMPARE(buckets.first().label, u"Today"_s);
    QCOMPARE(pathsOf(buckets.first().projects), QStringList{u"/p/fine"_s});
    QCOMPARE(pathsOf(SavedBucket::recentProjects(projects, now, berlin)), QStringList{u"/p/fine"_s});
}

void TestSavedBucket::recentProjectsKeepOrder()
{
    const QDateTime now = at(2024, 3, 18, 12, 0);
    const QList<RememberedProject> projects{
        project(u"/p/c"_s, RuntimeKind::Bun, at(2024, 3, 18, 9, 0)),
        project(u"/p/old"_s, RuntimeKind::Next, at(2024, 3, 1, 9, 0)),
        project(u"/p/a"_s, RuntimeKind::Next, at(2024, 3, 17, 9, 0)),
        project(u"/p/b"_s, RuntimeKind::AgentBrowser, at(2024, 3, 8, 9, 0)),
    };
    QCOMPARE(pathsOf(SavedBucket::recentProjects(projects, now, berlin)),
             (QStringList{u"/p/c"_s, u"/p/a"_s, u"/p/b"_s}));
}

void TestSavedBucket::bucketsGroupInOrderOfFirstAppearance()
{
    const QDateTime now = at(2024, 3, 18, 12, 0);
    // Newest first, as the store keeps them, with one out of order to show the order is the input's.
    const QList<RememberedProject> projects{
        project(u"/p/today-vite"_s, RuntimeKind::Vite, at(2024, 3, 18, 11, 0)),
        project(u"/p/last-week"_s, RuntimeKind::Node, at(2024, 3, 9, 11, 0)),
        project(u"/p/yesterday"_s, RuntimeKind::Node, at(2024, 3, 17, 11, 0)),
        project(u"/p/today-next"_s, RuntimeKind::Next, at(2024, 3, 18, 1, 0)),
        project(u"/p/thursday"_s, RuntimeKind::Bun, at(2024, 3, 14, 11, 0)),
        project(u"/p/too-old"_s, RuntimeKind::Bun, at(2024, 2, 1, 11, 0)),
    };
    const QList<SavedBucket> buckets = SavedBucket::buckets(projects, now, berlin);
    QStringList labels;
    for (const SavedBucket& bucket : buckets)
        labels.append(bucket.label);
    QCOMPARE(labels, (QStringList{u"Today"_s, u"Last Week"_s, u"Yesterday"_s, u"Thursday"_s}));
    QCOMPARE(pathsOf(buckets.at(0).projects), (QStringList{u"/p/today-next"_s, u"/p/today-vite"_s}));
}

void TestSavedBucket::projectsInsideABucket()
{
    const QDateTime now = at(2024, 3, 18, 12, 0);
    const QList<RememberedProject> projects{
        project(u"/w/app10"_s, RuntimeKind::Vite, at(2024, 3, 18, 11, 0)),
        project(u"/w/App9"_s, RuntimeKind::Vite, at(2024, 3, 18, 1, 0)),
        project(u"/x/shop"_s, RuntimeKind::Bun, at(2024, 3, 18, 11, 30)),
        project(u"/y/site"_s, RuntimeKind::Next, at(2024, 3, 18, 0, 10)),
        project(u"/a/shop"_s, RuntimeKind::Bun, at(2024, 3, 18, 10, 0)),
        project(u"/b/shop/"_s, RuntimeKind::Bun, at(2024, 3, 18, 9, 0)),
    };
    const QList<SavedBucket> buckets = SavedBucket::buckets(projects, now, berlin);
    QCOMPARE(buckets.size(), 1);
    // Kind order first (next, vite, bun), then folder names by value (9 before 10, case ignored); equal
    // names keep their given order.
    QCOMPARE(pathsOf(buckets.first().projects),
             (QStringList{u"/y/site"_s, u"/w/App9"_s, u"/w/app10"_s, u"/x/shop"_s, u"/a/shop"_s, u"/b/shop/"_s}));
    QVERIFY(SavedBucket::projectPrecedes(projects.at(1), projects.at(0)));
    QVERIFY(!SavedBucket::projectPrecedes(projects.at(0), projects.at(1)));
    QVERIFY(!SavedBucket::projectPrecedes(projects.at(2), projects.at(4)));
    QVERIFY(!SavedBucket::projectPrecedes(projects.at(4), projects.at(2)));
}

void TestSavedBucket::emptyAndOldInputs()
{
    const QDateTime now = at(2024, 3, 18, 12, 0);
    QVERIFY(SavedBucket::buckets({}, now, berlin).isEmpty());
    const QList<RememberedProject> old{project(u"/p/a"_s, RuntimeKind::Node, at(2024, 3, 4, 12, 0)),
                                       project(u"/p/b"_s, RuntimeKind::Vite, at(2023, 3, 4, 12, 0))};
    QVERIFY(SavedBucket::buckets(old, now, berlin).isEmpty());
    QVERIFY(SavedBucket::recentProjects(old, now, berlin).isEmpty());
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    // The local time zone of this run, before anything reads it.
    qputenv("TZ", "Europe/Berlin");
    QCoreApplication app(argc, argv);
    TestSavedBucket test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_savedbucket.moc"
